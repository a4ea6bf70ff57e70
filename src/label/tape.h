// Tape printers: the tape a requested width is printed on, and the lengths a tape takes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "label/request.h"

struct TapeRow {
    std::int32_t nominal_mm;
    std::int32_t printable_mm;
    std::int32_t printable_dots;  // at 180 dpi, as the driver lists it
    const char* media;            // exactly ten characters
};

/// Whether a label of this name is heat-shrink tube: it holds "HS" or "hs".
bool is_heat_shrink(const std::string& label);

/// The first row of the standard or the heat-shrink tape table whose nominal width is
/// at least `width`; nullptr when none is.
const TapeRow* tape_row_for(std::int64_t width, bool heat_shrink);

/// The widths the standard tape comes in, as a user would ask for them.
constexpr const char* kStandardTapeWidths = "3.5 (up to 5), 6, 9, 12, 18, 24 mm";

/// Sizes `request` (a tape model's) for `width` on the tape its label picks: the width
/// shrinks to a narrower tape's printable width, taking its media, and the print dots
/// become the row's. false when no standard tape is that wide; heat-shrink tube wider
/// than any row is taken as asked, media and dots unchanged.
bool size_tape(std::int64_t width, FormatRequest& request);

/// `height` brought within what a tape of this label takes.
std::int64_t clamp_tape_length(std::int64_t height, const std::string& label);

/// A media name as --list shows it: "_zkS12mm__" is "zkS12mm".
std::string without_padding(std::string_view media);

/// The tape a tape format is listed on: the media its identifier carries, else the tape
/// whose row it was sized on, told by the printable dots, for a width that fits that
/// tape's printable width (that leaves no media in the identifier); "" when none fits.
std::string listed_tape(std::int64_t width, std::string_view media, long long width_dots);

/// The row, of either table, whose media --list shows as `tape`; nullptr when no tape
/// model has it.
const TapeRow* tape_row_named(std::string_view tape);
