#pragma once

#include <QtGlobal>

#include <cmath>

// Positions and sizes the system gives in twips are device-independent pixels here:
// fifteen twips to a pixel.
inline constexpr int kTwipsPerPixel = 15;

// The system's numbers round halves to the even neighbour (2.5 to 2, 3.5 to 4).
inline qint64 roundHalfEven(double value) {
    return static_cast<qint64>(std::nearbyint(value));  // the default rounding mode
}
