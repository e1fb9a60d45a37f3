#include "Twips.h"

#include <cmath>

namespace Twips {

int toPixels(double twips, double logicalDpi)
{
    return static_cast<int>(std::lround(twips * logicalDpi / kPerInch));
}

}
