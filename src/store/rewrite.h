// The one way a driver file is changed: copied line by line through a filter into a
// temporary file beside it, which then takes the file's place in one rename.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "store/store.h"

struct LineDecision {
    enum Action { kCopy, kDrop, kReplace, kCopyThenAdd };
    Action action = kCopy;
    std::string_view text;  // kReplace: written instead; kCopyThenAdd: a line after it
};

/// Sees a line's first piece (see read_line) up to its first zero byte, as C text.
using LineFilter = std::function<LineDecision(std::string_view line)>;

/// The filter of a rewrite that only appends.
inline LineDecision copy_all(std::string_view) { return {}; }

/// Rewrites the regular file `path`: every line as `filter` decides, then `trailer`,
/// if any. An added line or trailer always starts a line of its own. Lines pass
/// through byte for byte. RESULT_OK, or RESULT_FILE_ERROR with the errno of the call
/// that failed; then no temporary file is left and the file is unchanged, unless only
/// the folder sync after the rename failed: then the new file is in place, whole.
Outcome rewrite_file(const std::string& path, const LineFilter& filter,
                     std::string_view trailer = {});
