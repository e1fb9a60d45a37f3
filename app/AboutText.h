#pragma once

#include <QString>

// The text of the About box: four lines joined by CR LF, none after the last.
namespace AboutText {

QString build(const QString &appTitle, const QString &qq, const QString &email, const QString &homepage);

}
