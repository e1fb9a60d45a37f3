#pragma once

// Lengths of the window and the player are kept in twips, twentieths of a
// point: 1440 to the inch, so 15 to the pixel on a 96-DPI screen.
namespace Twips {
inline constexpr double kPerInch = 1440.0;

int toPixels(double twips, double logicalDpi);
}
