#include "store/format_id.h"

#include <cerrno>
#include <cstdio>

#include "store/line_reader.h"

namespace {

constexpr std::string_view kTag = "ZkL";
constexpr std::string_view kMediaStart = "_zk";  // every tape media name starts so
constexpr std::size_t kMediaLength = 10;
constexpr std::size_t kFixedIdLength = 25;
constexpr std::size_t kFixedNameLengthAt = 13;
constexpr std::size_t kFixedNameAt = 26;
// Width (at least two digits), height, seconds and microseconds.
constexpr std::size_t kMinSizeAndTimeDigits = 2 + 3 + 1 + 4;

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool is_upper_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

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

// The 25-character layout, read at its fixed offsets as the driver always has: any
// separator before the name will do, but not one more digit, which would make this
// the start of a longer identifier (a width of 256 or more).
std::string_view match_fixed(std::string_view text, std::string_view name) {
    if (text.size() <= kFixedIdLength || is_upper_hex(text[kFixedIdLength])) return {};
    const int length = name_length_at(text, kFixedNameLengthAt);
    if (!name_at(text, kFixedNameAt, length, name)) return {};
    return text.substr(0, kFixedIdLength);
}

// Any layout this tool writes: media part or none, a width of any number of digits.
// The identifier runs from the tag to the "/" before the name.
std::string_view match_any_width(std::string_view text, std::string_view name, bool has_media) {
    std::size_t at = kTag.size() + (has_media ? kMediaLength : 0);
    const int length = name_length_at(text, at);
    at += 2;
    std::size_t end = at;
    while (end < text.size() && is_upper_hex(text[end])) ++end;
    if (end - at < kMinSizeAndTimeDigits || end >= text.size() || text[end] != '/') return {};
    if (!name_at(text, end + 1, length, name)) return {};
    return text.substr(0, end);
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

std::string_view match_format_id(std::string_view line, std::string_view name) {
    line = up_to_first_zero(line);
    const std::size_t tag = line.find(kTag);
    if (tag == std::string_view::npos) return {};
    const std::string_view text = line.substr(tag);
    const bool has_media = text.substr(kTag.size(), kMediaStart.size()) == kMediaStart;
    // Without a media part the fixed offsets fall inside the identifier or the name,
    // where a look-alike could match another format.
    if (has_media) {
        if (const std::string_view id = match_fixed(text, name); !id.empty()) return id;
    }
    return match_any_width(text, name, has_media);
}

bool contains_format_id(std::string_view line, std::string_view id) {
    line = up_to_first_zero(line);
    for (std::size_t at = line.find(id); at != std::string_view::npos; at = line.find(id, at + 1)) {
        const std::size_t after = at + id.size();
        if (after == line.size() || !is_upper_hex(line[after])) return true;
    }
    return false;
}

Outcome find_format_id(const std::string& path, std::string_view name, std::string& id) {
    InputFile in;
    if (const int error = in.open(path)) {
        // Missing or unreadable is no error; a link or a device in its place is.
        const bool refused = error == ELOOP || error == EISDIR || error == EINVAL;
        return refused ? file_error(error) : Outcome{RESULT_NOT_FOUND};
    }
    std::string_view piece;
    bool at_line_start = true;
    long got;
    while ((got = read_line(in, piece)) > 0) {
        if (at_line_start) {
            if (const std::string_view found = match_format_id(piece, name); !found.empty()) {
                id = found;
                return {};
            }
        }
        at_line_start = piece.back() == '\n';
    }
    return got < 0 ? file_error(in.error()) : Outcome{RESULT_NOT_FOUND};
}
