#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Writing list files for tests, byte for byte as a user's editor would.
// Paths are relative to the working directory (or absolute); missing parent
// folders ("gb/") are created.
namespace GbkFiles {

// The text encoded as GBK (code page 936). Fails the running test if a
// character has no GBK form.
QByteArray toGbk(const QString &text);

// The records encoded as GBK, each followed by CR LF.
QByteArray crlfLines(const QStringList &records);

bool writeBytes(const QString &path, const QByteArray &bytes);
// The text as GBK, unchanged: line ends are written as the text has them.
bool writeText(const QString &path, const QString &text);
// One record per line, each ended by CR LF, as the bundled files are.
bool writeLines(const QString &path, const QStringList &records);

} // namespace GbkFiles
