#include "cli/apply_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string_view>

#include "cli/messages.h"
#include "durable/unique_fd.h"
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

// A name as a diagnostic quotes it (which escapes it), cut short where far too long.
std::string shown(std::string_view name) {
    constexpr std::size_t kMost = 40;
    return "'" + std::string(name.substr(0, kMost)) + (name.size() > kMost ? "...'" : "'");
}

// Sizes `format` for `tape` (as --list shows it) or, without one, as an add sizes it.
std::string size_line(const FormatRequest& model, std::int64_t width, std::int64_t length,
                      std::string_view tape, WantedFormat& format) {
    // Only what sizing reads: the driver's paths and printer are the command's.
    FormatRequest request;
    request.model_class = model.model_class;
    request.label = format.name;
    request.width = width;
    if (!is_tape_model(model)) {
        if (!tape.empty()) return "roll labels have no tape";
        if (width <= kRollWidthMargin) return "roll labels must be wider than 3 mm";
        if (length <= kRollLengthMargin) return "roll labels must be longer than 6 mm";
        request.height = length;
    } else if (tape.empty()) {
        request.height = clamp_tape_length(length, request.label);
        if (!size_tape(width, request))
            return std::string("wider than any tape; this model takes ") + kStandardTapeWidths;
    } else {
        request.height = clamp_tape_length(length, request.label);
        const TapeRow* row = tape_row_named(tape);
        if (!row) return "no such tape on this model";
        if (width > row->printable_mm)
            return "wider than the " + std::to_string(row->printable_mm) + " mm that tape prints";
        request.media = row->media;
        request.print_dots = row->printable_dots;
    }
    format.media = std::move(request.media);
    format.width = request.width;
    format.height = request.height;
    format.print_dots = request.print_dots;
    return {};
}

std::string read_line(std::string_view line, const FormatRequest& model, WantedFormat& format) {
    // A hundred thousand lines are read for an apply that changes nothing: no allocation
    // but the format's own.
    std::string_view fields[5];
    std::size_t count = 0;
    for (std::size_t at = 0; count < std::size(fields); ++count) {
        const std::size_t tab = line.find('\t', at);
        fields[count] = line.substr(at, tab - at);
        if (tab == std::string_view::npos) break;
        at = tab + 1;
    }
    if (count == std::size(fields) || ++count < 3 || count > 4)
        return "a name, a width, a length and a tape take 3 or 4 tab-separated fields, not " +
               (count > 4 ? std::string("more") : std::to_string(count));
    std::string& name = format.name;
    if (fields[0].find('\\') == std::string_view::npos) {
        name.assign(fields[0]);
    } else if (!unescaped(fields[0], name)) {
        return "name " + shown(fields[0]) + ": unknown escape";
    }
    if (std::string why = name_fault(name, false); !why.empty())
        return "name " + shown(name) + ": " + why;
    std::int64_t sizes[2] = {};
    for (int i : {0, 1}) {
        // Plain digits, read here rather than copied for strtoll: there may be 100,000.
        const std::string_view value = fields[1 + i];
        std::string why;
        if (value.empty() || value.find_first_not_of("0123456789") != std::string_view::npos)
            why = "not a number";
        for (std::size_t at = 0; why.empty() && at < value.size(); ++at) {
            sizes[i] = sizes[i] * 10 + (value[at] - '0');
            if (sizes[i] > kMaxLabelMillimetres)
                why = "above " + std::to_string(kMaxLabelMillimetres);
        }
        if (why.empty() && sizes[i] == 0) why = "not above 0";
        if (!why.empty()) return (i ? "length " : "width ") + shown(value) + ": " + why;
    }
    const std::string why =
        size_line(model, sizes[0], sizes[1], count == 4 ? fields[3] : "", format);
    return why.empty() ? why : shown(name) + ": " + why;
}

// The first line whose name an earlier line holds. An open table of indexes, small enough
// to stay in the cache: a hundred thousand names are looked up for an apply that changes
// nothing.
Refusal name_twice(const std::string& path, const std::vector<WantedFormat>& wanted,
                   const std::vector<int>& lines) {
    constexpr std::uint32_t kEmpty = ~std::uint32_t{0};
    std::size_t size = 16;
    while (size < 2 * wanted.size()) size *= 2;
    std::vector<std::uint32_t> table(size, kEmpty);
    std::vector<std::size_t> hashes(wanted.size());
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const std::string& name = wanted[i].name;
        hashes[i] = std::hash<std::string>{}(name);
        std::size_t at = hashes[i] & (size - 1);
        for (; table[at] != kEmpty; at = (at + 1) & (size - 1)) {
            const std::uint32_t earlier = table[at];
            if (hashes[earlier] == hashes[i] && wanted[earlier].name == name)
                return {path + ":" + std::to_string(lines[i]),
                        shown(name) + " stands on line " + std::to_string(lines[earlier]) + " too"};
        }
        table[at] = static_cast<std::uint32_t>(i);
    }
    return {};
}

}  // namespace

Refusal read_apply_file(const std::string& path, const FormatRequest& model,
                        std::vector<WantedFormat>& wanted, std::vector<int>& lines) {
    std::string text;
    if (!read_all(path, text)) return {path, std::strerror(errno)};
    const std::size_t most =
        static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    wanted.reserve(most);
    lines.reserve(most);
    int number = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string_view line(text.data() + at, end - at);
        at = end + 1;
        ++number;
        if (line.empty() || line[0] == '#') continue;
        WantedFormat& format = wanted.emplace_back();
        if (std::string why = read_line(line, model, format); !why.empty())
            return {path + ":" + std::to_string(number), why};
        lines.push_back(number);
    }
    return name_twice(path, wanted, lines);
    return {};
}
