#include "cli/options.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "label/tape.h"

namespace {

bool length_within(std::string_view value, std::size_t most) {
    return !value.empty() && value.size() <= most;
}

// Reads like strtol: leading blanks and a sign, digits up to the first other
// character, saturating beyond 64 bits. Only values in (0, kMaxLabelMillimetres] pass.
bool read_size(const char* value, std::int64_t& out) {
    if (!length_within(value, kMaxNumberLength)) return false;
    const long long number = std::strtoll(value, nullptr, 10);
    if (number <= 0 || number > kMaxLabelMillimetres) return false;
    out = number;
    return true;
}

bool read_label(const char* value, FormatRequest& request) {
    std::string_view label(value);
    // A newline would split the driver files' lines.
    if (!length_within(label, kMaxLabelLength) || label.find('\n') != std::string_view::npos)
        return false;
    request.label = label;
    return true;
}

bool read_width(const char* value, FormatRequest& request) {
    std::int64_t width = 0;
    if (!read_size(value, width)) return false;
    request.width = width;
    if (is_tape_model(request)) return size_tape(width, request);
    // Nothing printable would be left after the margins.
    return width > kRollWidthMargin;
}

bool read_height(const char* value, FormatRequest& request) {
    std::int64_t height = 0;
    if (!read_size(value, height)) return false;
    if (is_tape_model(request)) {
        request.height = clamp_tape_length(height, request.label);
        return true;
    }
    request.height = height;
    return height > kRollLengthMargin;
}

bool read_pair(const char* option, const char* value, FormatRequest& request, OptionFlags& flags) {
    // Only the first two characters name the option: "-Printer" is -P.
    if (option[0] != '-' || option[1] == '\0') return false;
    switch (option[1]) {
        case 'P':
            if (!length_within(value, kMaxPrinterLength)) return false;
            request.printer = value;
            return flags.printer_given = true;
        case 'n':
            return read_label(value, request) && (flags.add_given = true);
        case 'd':
            return read_label(value, request) && (flags.delete_given = true);
        case 'w':
            return read_width(value, request) && (flags.width_given = true);
        case 'h':
            return read_height(value, request) && (flags.height_given = true);
        default:
            return false;
    }
}

}  // namespace

bool parse_options(int argc, const char* const argv[], FormatRequest& request, OptionFlags& flags) {
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!read_pair(argv[i], argv[i + 1], request, flags)) return false;
    }
    return true;
}
