#include "label/format_id.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr std::string_view kTag = kFormatIdTag;
constexpr std::string_view kMediaStart = "_zk";  // every tape media name starts so
constexpr std::size_t kMediaLength = 10;
constexpr std::size_t kFixedIdLength = 25;
constexpr std::size_t kFixedNameLengthAt = 13;
constexpr std::size_t kFixedNameAt = 26;
// Height, seconds and microseconds: the digits after the width.
constexpr std::size_t kHeightAndTimeDigits = 3 + 1 + 4;
constexpr std::size_t kTimeDigits = 1 + 4;
// Width (at least two digits), height, seconds and microseconds.
constexpr std::size_t kMinSizeAndTimeDigits = 2 + kHeightAndTimeDigits;
// More width digits than any accepted size needs would not fit the number.
constexpr std::size_t kMaxWidthDigits = 15;

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool is_upper_hex(char c) {
    return static_cast<unsigned>(c - '0') < 10 || static_cast<unsigned>(c - 'A') < 6;
}

// The upper-case hex number `digits` spells, or -1.
std::int64_t upper_hex_number(std::string_view digits) {
    std::int64_t value = 0;
    for (char c : digits) {
        if (!is_upper_hex(c)) return -1;
        value = value * 16 + hex_value(c);
    }
    return value;
}

// The two-digit name length at `at`, or -1.
int name_length_at(std::string_view id, std::size_t at) {
    if (id.size() < at + 2) return -1;
    const int high = hex_value(id[at]);
    const int low = hex_value(id[at + 1]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

bool name_at(std::string_view text, std::size_t at, int length, std::string_view name) {
    if (length < 0 || text.size() < at + static_cast<std::size_t>(length)) return false;
    return text.substr(at, static_cast<std::size_t>(length)) == name;
}

bool has_media(std::string_view text) {
    return text.substr(kTag.size(), kMediaStart.size()) == kMediaStart;
}

// Where the name length of the identifier that starts `text` (at its tag) stands.
std::size_t name_length_offset(std::string_view text) {
    return kTag.size() + (has_media(text) ? kMediaLength : 0);
}

// The length of the identifier of any layout this tool writes that starts `text` (at
// its tag): media part or none, a width of any number of digits. 0 when there is none.
std::size_t id_length(std::string_view text) {
    const std::size_t at = name_length_offset(text);
    if (name_length_at(text, at) < 0) return 0;
    std::size_t end = at + 2;
    while (end < text.size() && is_upper_hex(text[end])) ++end;
    return end - (at + 2) < kMinSizeAndTimeDigits ? 0 : end;
}

// The text from the line's first tag on, up to its first zero byte; empty without one.
std::string_view from_tag(std::string_view line) {
    // Every line of a format file is searched, so this is a tight loop.
    const char* const end = line.data() + line.size();
    for (const char* at = line.data(); end - at >= 3; ++at) {
        at = static_cast<const char*>(std::memchr(at, kTag[0], end - at - 2));
        if (!at) break;
        if (at[1] != kTag[1] || at[2] != kTag[2]) continue;
        const std::string_view text(at, end - at);
        if (std::memchr(line.data(), '\0', at + 3 - line.data())) break;
        return up_to_first_zero(text);
    }
    return {};
}

// The 25-character layout, read at its fixed offsets as the driver always has: any
// separator before the name will do, but not one more digit, which would make this
// the start of a longer identifier (a width of 256 or more).
std::string_view match_fixed(std::string_view text, std::string_view name) {
    if (text.size() <= kFixedIdLength || is_upper_hex(text[kFixedIdLength])) return {};
    const int length = name_length_at(text, kFixedNameLengthAt);
    if (!name_at(text, kFixedNameAt, length, name)) return {};
    return text.substr(0, kFixedIdLength);
}

// Any layout, the identifier running from the tag to the "/" before the name.
std::string_view match_any_width(std::string_view text, std::string_view name) {
    const std::string_view id = entry_format_id(text);
    if (id.empty()) return {};
    const int length = name_length_at(text, name_length_offset(text));
    return name_at(text, id.size() + 1, length, name) ? id : std::string_view();
}

bool contains_format_id(std::string_view line, std::string_view id) {
    line = up_to_first_zero(line);
    for (std::size_t at = line.find(id); at != std::string_view::npos; at = line.find(id, at + 1)) {
        const std::size_t after = at + id.size();
        if (after == line.size() || !is_upper_hex(line[after])) return true;
    }
    return false;
}

}  // namespace

std::string build_format_id(const FormatRequest& request, const timeval& now) {
    char id[100];
    std::snprintf(id, sizeof id, "%s%s%02zX%02llX%03llX%01lX%04lX", "ZkL", request.media.c_str(),
                  request.label.size(), static_cast<unsigned long long>(request.width),
                  static_cast<unsigned long long>(request.height) & 0xFFF,
                  static_cast<unsigned long>(now.tv_sec) & 0xF,
                  static_cast<unsigned long>(now.tv_usec) & 0xFFFF);
    return id;
}

std::int64_t time_field(std::string_view rest) {
    if (rest.size() < kTimeDigits) return -1;
    if (rest.size() > kTimeDigits && is_upper_hex(rest[kTimeDigits])) return -1;
    return upper_hex_number(rest.substr(0, kTimeDigits));
}

std::string_view before_time_field(std::string_view id) {
    return id.substr(0, id.size() - kTimeDigits);
}

std::string with_time_field(std::string id, std::uint32_t time) {
    char digits[kTimeDigits + 1];
    std::snprintf(digits, sizeof digits, "%05X", time % kFormatIdTimes);
    return id.replace(id.size() - kTimeDigits, kTimeDigits, digits);
}

std::string_view match_format_id(std::string_view line, std::string_view name) {
    const std::string_view text = from_tag(line);
    if (text.empty()) return {};
    // Without a media part the fixed offsets fall inside the identifier or the name,
    // where a look-alike could match another format.
    if (has_media(text)) {
        if (const std::string_view id = match_fixed(text, name); !id.empty()) return id;
    }
    return match_any_width(text, name);
}

std::string_view entry_format_id(std::string_view line) {
    const std::string_view text = from_tag(line);
    const std::size_t length = text.empty() ? 0 : id_length(text);
    if (length == 0 || length >= text.size() || text[length] != '/') return {};
    return text.substr(0, length);
}

bool refers_to_format(std::string_view line, std::string_view id) {
    // An entry's name is the user's text, and may even spell another identifier.
    const std::string_view own = entry_format_id(line);
    return own.empty() ? contains_format_id(line, id) : own == id;
}

bool read_format_entry(std::string_view line, FormatEntry& entry) {
    // Every line of a format file is read so; the digits are run over once.
    const std::string_view text = from_tag(line);
    const std::size_t length = text.empty() ? 0 : id_length(text);
    if (length == 0 || length >= text.size() || text[length] != '/') return false;
    const std::size_t at = name_length_offset(text);
    const std::size_t width_digits = length - (at + 2) - kHeightAndTimeDigits;
    if (width_digits > kMaxWidthDigits) return false;
    const auto digit = [&text](std::size_t i) {
        return text[i] <= '9' ? text[i] - '0' : text[i] - 'A' + 10;
    };
    std::int64_t width = 0;
    for (std::size_t i = at + 2; i < at + 2 + width_digits; ++i) width = width * 16 + digit(i);
    const std::size_t height_at = at + 2 + width_digits;
    entry.id = text.substr(0, length);
    entry.rest = text.substr(length + 1);
    entry.fields.media = text.substr(kTag.size(), at - kTag.size());
    entry.fields.name_length = name_length_at(text, at);
    entry.fields.width = width;
    entry.fields.height_low_bits =
        (digit(height_at) << 8) | (digit(height_at + 1) << 4) | digit(height_at + 2);
    return true;
}

std::string_view format_id_at(std::string_view text) {
    if (text.substr(0, kTag.size()) != kTag) return {};
    return text.substr(0, id_length(text));
}

bool is_comment_line(std::string_view line) {
    // Every line of a function file is asked; find_first_not_of searches a set per byte.
    std::size_t first = 0;
    while (first < line.size() && (line[first] == ' ' || line[first] == '\t')) ++first;
    return first < line.size() && (line[first] == ';' || line[first] == '#');
}

bool is_insertion_mark(std::string_view line) {
    line = up_to_first_zero(line);
    return line.find(kInsertionMark) != std::string_view::npos && entry_format_id(line).empty() &&
           !is_comment_line(line);
}
