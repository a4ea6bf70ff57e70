// Turning millimetres into the driver's printer dots and points.
#pragma once

// The driver's own figure, not 25.4; its dot tables were made with it.
constexpr double kMillimetresPerInch = 25.43859649;
constexpr double kRollDotsPerInch = 300;
constexpr double kTapeDotsPerInch = 180;
constexpr double kPointsPerInch = 72;

/// Division first, truncated toward zero, as the driver computes it.
inline int to_dots(double millimetres, double dots_per_inch) {
    return static_cast<int>(millimetres / kMillimetresPerInch * dots_per_inch);
}
