// The format identifier: the generated key of a custom label format in the driver files.
//
// Layout: "ZkL", the media name (ten characters, or nothing), the name length in two
// hex digits, the width in at least two, the height's low 12 bits in three, the
// seconds' low 4 bits in one and the microseconds' low 16 bits in four (upper-case
// hex). With a media name and a width below 256 that is 25 characters. A format entry
// line of the function and paper info files is the identifier, "/" and the name.
#pragma once

#include <sys/time.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "label/request.h"

/// Every identifier starts with it.
constexpr std::string_view kFormatIdTag = "ZkL";

/// The identifier for `request` added at time `now`.
std::string build_format_id(const FormatRequest& request, const timeval& now);

/// How many values the time fields of an identifier (the seconds' low 4 bits and the
/// microseconds' low 16) can take together.
constexpr std::uint32_t kFormatIdTimes = 1u << 20;

/// The value of the time fields that start `rest` (the text after an identifier's
/// digits up to its height), or -1 when five upper-case hex digits do not start it or
/// a sixth follows (then they are the start of a longer identifier).
std::int64_t time_field(std::string_view rest);

/// `id` without its time fields.
std::string_view before_time_field(std::string_view id);

/// `id` with its time fields set to `time` (modulo kFormatIdTimes).
std::string with_time_field(std::string id, std::uint32_t time);

/// A line up to its first zero byte: all that matching ever looks at, as C text.
inline std::string_view up_to_first_zero(std::string_view line) {
    return line.substr(0, line.find('\0'));
}

/// The identifier in `line` that carries exactly `name`, or an empty view. Only the
/// first "ZkL" of the line counts, and nothing past the line (or its first zero byte)
/// is read.
std::string_view match_format_id(std::string_view line, std::string_view name);

/// The identifier a format entry line starts with, counting from the line's first
/// "ZkL" (up to its first zero byte); empty when the line is no format entry.
std::string_view entry_format_id(std::string_view line);

/// Whether a delete of the format `id` takes `line` out (or resets it): a format entry
/// line when it is that format's own entry, whatever its name holds; any other line
/// when it holds `id` as a whole identifier, not as the start of a longer one.
bool refers_to_format(std::string_view line, std::string_view id);

/// The function file's mark after which each new format's entry line goes.
constexpr std::string_view kInsertionMark = "[CustomTape]";

/// Whether a function file line is an insertion mark: it holds kInsertionMark (before
/// any zero byte), is no format entry (whose name may hold the mark) and no comment
/// (its first non-blank character ';' or '#', where a driver explains its mark).
bool is_insertion_mark(std::string_view line);

/// What an identifier says of its format.
struct FormatIdFields {
    std::string_view media;  // ten characters, or empty
    int name_length = 0;
    std::int64_t width = 0;
    int height_low_bits = 0;  // the height's low 12 bits
};

/// A format entry line taken apart: the identifier, what it says, and the rest of the
/// line after the identifier and "/" (up to the line's first zero byte).
struct FormatEntry {
    std::string_view id;
    FormatIdFields fields;
    std::string_view rest;

    /// The name as long as the identifier says, or what the line holds of it.
    std::string_view name() const {
        return rest.substr(0, static_cast<std::size_t>(fields.name_length));
    }
    /// "<identifier>/<name>", what a format is known by across the files; empty when the
    /// line ends before the name does. Only then does a delete of the name miss the line.
    std::string_view key() const {
        const auto length = static_cast<std::size_t>(fields.name_length);
        if (rest.size() < length) return {};
        return std::string_view(id.data(), id.size() + 1 + length);
    }
};

/// Takes apart the entry `line` is (counting from its first "ZkL"); false when it is no
/// format entry.
bool read_format_entry(std::string_view line, FormatEntry& entry);

/// The whole identifier, of any layout this tool writes, that starts `text` (at its
/// tag); empty when none does.
std::string_view format_id_at(std::string_view text);
