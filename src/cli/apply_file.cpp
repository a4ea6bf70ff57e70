#include "cli/apply_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "cli/messages.h"
#include "durable/unique_fd.h"
#include "label/fields.h"
#include "label/tape.h"

namespace {

// Far more than any driver's formats take; an endless input must not take the memory.
constexpr std::size_t kMostFileBytes = 64u << 20;

bool read_all(const std::string& path, std::string& text) {
    const bool standard_input = path == "-";
    UniqueFd owned(standard_input ? -1 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    const int fd = standard_input ? STDIN_FILENO : owned.get();
    if (fd < 0) return false;
    char buffer[65536];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        text.append(buffer, static_cast<std::size_t>(got));
        if (text.size() > kMostFileBytes) {
            errno = EFBIG;
            return false;
        }
    }
    return true;
}

// The name --list escaped: \\, \t, \n, \r and \NNN (octal) back to their bytes.
bool unescape(std::string_view text, std::string& out) {
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '\\') {
            out += text[at];
            continue;
        }
        const std::string_view rest = text.substr(at + 1);
        const std::size_t octal = rest.substr(0, 3).find_first_not_of("01234567");
        if (rest.size() >= 3 && octal == std::string_view::npos && rest[0] <= '3') {
            out += static_cast<char>((rest[0] - '0') * 64 + (rest[1] - '0') * 8 + (rest[2] - '0'));
            at += 3;
            continue;
        }
        const char simple = rest.empty() ? '\0' : rest[0];
        if (simple == '\\')
            out += '\\';
        else if (simple == 't')
            out += '\t';
        else if (simple == 'n')
            out += '\n';
        else if (simple == 'r')
            out += '\r';
        else
            return false;
        at += 1;
    }
    return true;
}

// A name as a diagnostic quotes it (which escapes it), cut short where far too long.
std::string shown(std::string_view name) {
    constexpr std::size_t kMost = 40;
    return "'" + std::string(name.substr(0, kMost)) + (name.size() > kMost ? "...'" : "'");
}

// Sizes `format` for `tape` (as --list shows it) or, without one, as an add sizes it.
std::string size_line(const FormatRequest& model, std::int64_t width, std::int64_t length,
                      std::string_view tape, WantedFormat& format) {
    FormatRequest& request = format.request;
    std::string name = std::move(request.label);
    request = model;
    request.label = std::move(name);
    request.width = width;
    if (!is_tape_model(model)) {
        if (!tape.empty()) return "roll labels have no tape";
        if (width <= kRollWidthMargin) return "roll labels must be wider than 3 mm";
        if (length <= kRollLengthMargin) return "roll labels must be longer than 6 mm";
        request.height = length;
        return {};
    }
    request.height = clamp_tape_length(length, format.request.label);
    if (tape.empty()) {
        if (!size_tape(width, request))
            return std::string("wider than any tape; this model takes ") + kStandardTapeWidths;
        format.tape = listed_tape(request.width, request.media, request.print_dots);
        return {};
    }
    const TapeRow* row = tape_row_named(tape);
    if (!row) return "no such tape on this model";
    if (width > row->printable_mm)
        return "wider than the " + std::to_string(row->printable_mm) + " mm that tape prints";
    request.media = row->media;
    request.print_dots = row->printable_dots;
    format.tape = tape;
    return {};
}

std::string read_line(std::string_view line, const FormatRequest& model, WantedFormat& format) {
    const std::vector<std::string_view> fields = tab_fields(line);
    if (fields.size() < 3 || fields.size() > 4)
        return "a name, a width, a length and a tape take 3 or 4 tab-separated fields, not " +
               std::to_string(fields.size());
    std::string& name = format.request.label;
    if (!unescape(fields[0], name)) return "name " + shown(fields[0]) + ": unknown escape";
    if (std::string why = name_fault(name, false); !why.empty())
        return "name " + shown(name) + ": " + why;
    std::int64_t sizes[2] = {};
    for (int i : {0, 1}) {
        const std::string value(fields[1 + i]);
        std::string why = value.find_first_not_of("0123456789") == std::string::npos
                              ? size_fault(value.c_str(), sizes[i])
                              : "not a number";
        if (!why.empty()) return (i ? "length " : "width ") + shown(value) + ": " + why;
    }
    const std::string why =
        size_line(model, sizes[0], sizes[1], fields.size() == 4 ? fields[3] : "", format);
    return why.empty() ? why : shown(name) + ": " + why;
}

}  // namespace

Refusal read_apply_file(const std::string& path, const FormatRequest& model,
                        std::vector<WantedFormat>& wanted, std::vector<int>& lines) {
    std::string text;
    if (!read_all(path, text)) return {path, std::strerror(errno)};
    std::unordered_map<std::string, int> first_line;
    int number = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string_view line(text.data() + at, end - at);
        at = end + 1;
        ++number;
        if (line.empty() || line[0] == '#') continue;
        WantedFormat format;
        const std::string where = path + ":" + std::to_string(number);
        if (std::string why = read_line(line, model, format); !why.empty()) return {where, why};
        if (const auto [other, fresh] = first_line.emplace(format.request.label, number); !fresh)
            return {where, shown(format.request.label) + " stands on line " +
                               std::to_string(other->second) + " too"};
        wanted.push_back(std::move(format));
        lines.push_back(number);
    }
    return {};
}
