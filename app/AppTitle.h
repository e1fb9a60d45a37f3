#pragma once

#include <QString>

// The program's name and version as the caption shows it: "Lumora V" and the
// three numbers joined by dots, in plain decimal digits.
namespace AppTitle {

QString build(int major, int minor, int revision);

}
