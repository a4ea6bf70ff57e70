// Walking the format entry lines of a driver file.
#pragma once

#include <string_view>

#include "durable/line_reader.h"
#include "label/format_id.h"

/// Calls `take(entry)` with each format entry of `in` (judged by its first piece, up to
/// its first zero byte), until `take` returns false; of a function file (`comments`), not
/// those of comment lines. Returns 0 or the errno of a failed read.
template <typename Take>
int for_each_entry(InputFile& in, Take take, bool comments = false) {
    Stretch stretch;
    long got;
    while ((got = next_stretch(in, kFormatIdTag, stretch)) > 0) {
        FormatEntry entry;
        if (stretch.kind == Stretch::kMarked && !(comments && is_comment_line(stretch.bytes)) &&
            read_format_entry(stretch.bytes, entry) && !take(entry))
            return 0;
    }
    return got < 0 ? in.error() : 0;
}
