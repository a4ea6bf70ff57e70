// Reading the option/value pairs of the command line, with tape sizing.
#pragma once

#include <cstdint>

#include "cli/request.h"

struct TapeRow {
    std::int32_t nominal_mm;
    std::int32_t printable_mm;
    std::int32_t printable_dots;  // at 180 dpi, as the driver lists it
    const char* media;            // exactly ten characters
};

/// The first row of the standard or the heat-shrink tape table whose nominal width is
/// at least `width`; nullptr when none is.
const TapeRow* tape_row_for(std::int64_t width, bool heat_shrink);

/// Walks argv[1..argc-1] as option/value pairs, checks each value and stores it in
/// `request`, setting the matching flag. Returns false on the first rejected pair;
/// what was stored before it stays. Expects an odd argc of at least 3.
bool parse_options(int argc, const char* const argv[], FormatRequest& request, OptionFlags& flags);
