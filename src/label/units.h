// Turning millimetres into the driver's printer dots and points.
#pragma once

#include <cmath>
#include <cstdint>

#include "label/request.h"

// The driver's own figure, not 25.4; its dot tables were made with it.
constexpr double kMillimetresPerInch = 25.43859649;
constexpr double kRollDotsPerInch = 300;
constexpr double kTapeDotsPerInch = 180;
constexpr double kPointsPerInch = 72;

/// Division first, truncated toward zero, as the driver computes it.
inline int to_dots(double millimetres, double dots_per_inch) {
    return static_cast<int>(millimetres / kMillimetresPerInch * dots_per_inch);
}

/// A roll label's whole length in millimetres, from the low 12 bits its identifier
/// keeps and the length in dots of its paper info line, which is exact to a millimetre.
inline std::int64_t roll_length(int low_bits, long long length_dots) {
    constexpr std::int64_t kHeightBits = 1 << 12;
    const double near = kRollLengthMargin +
                        static_cast<double>(length_dots) * kMillimetresPerInch / kRollDotsPerInch;
    // Never below the low bits: a hand edit that made the two disagree gives no negative.
    const std::int64_t above = std::llround((near - low_bits) / kHeightBits);
    return low_bits + kHeightBits * (above < 0 ? 0 : above);
}
