#include "AppTitle.h"

namespace AppTitle {

QString build(int major, int minor, int revision)
{
    return QStringLiteral("Lumora V%1.%2.%3").arg(major).arg(minor).arg(revision);
}

}
