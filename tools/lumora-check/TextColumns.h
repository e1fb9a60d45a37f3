#pragma once

#include <QString>
#include <QStringList>

// Text laid out in columns on a terminal, where a Chinese character takes
// two cells and a combining mark none.
namespace TextColumns {

int displayWidth(const QString &text);
// The text followed by blanks up to width cells (never cut).
QString padded(const QString &text, int width);
// The rows with every column but the last padded to the widest cell of its
// column, two blanks between columns, each row indented by indent blanks.
QStringList layout(const QList<QStringList> &rows, int indent);

}
