// The format identifier: the generated key of a custom label format in the driver files.
//
// Layout: "ZkL", the media name (ten characters, or nothing), the name length in two
// hex digits, the width in at least two, the height's low 12 bits in three, the
// seconds' low 4 bits in one and the microseconds' low 16 bits in four (upper-case
// hex). With a media name and a width below 256 that is 25 characters. Where a name
// goes with it, "/" and the name follow.
#pragma once

#include <sys/time.h>

#include <string>
#include <string_view>

#include "cli/request.h"
#include "store/store.h"

/// The identifier for `request` added at time `now`.
std::string build_format_id(const FormatRequest& request, const timeval& now);

/// The identifier in `line` that carries exactly `name`, or an empty view. Only the
/// first "ZkL" of the line counts, and nothing past the line (or its first zero byte)
/// is read.
std::string_view match_format_id(std::string_view line, std::string_view name);

/// Whether `line` (up to its first zero byte) holds `id` as a whole identifier, not as
/// the start of a longer one.
bool contains_format_id(std::string_view line, std::string_view id);

/// Finds the identifier of the first line of `path` that carries `name`.
/// RESULT_OK with `id` set; RESULT_NOT_FOUND when no line does or the file is missing
/// or unreadable; RESULT_FILE_ERROR when it is not a regular file or a read fails.
Outcome find_format_id(const std::string& path, std::string_view name, std::string& id);
