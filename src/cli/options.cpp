#include "cli/options.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

constexpr TapeRow kStandardTape[] = {
    {5, 2, 24, "_zkS3.5mm_"},   {6, 4, 32, "_zkS6mm___"},    {9, 7, 50, "_zkS9mm___"},
    {12, 10, 70, "_zkS12mm__"}, {18, 16, 112, "_zkS18mm__"}, {24, 22, 128, "_zkS24mm__"},
};

constexpr TapeRow kHeatShrinkTape[] = {
    {6, 4, 28, "_zkHS6mm__"},    {9, 7, 48, "_zkHS9mm__"},    {12, 9, 66, "_zkHS12mm_"},
    {18, 15, 106, "_zkHS18mm_"}, {24, 18, 128, "_zkHS24mm_"},
};

constexpr std::int64_t kMinTapeLength = 4;
constexpr std::int64_t kMaxTapeLength = 1000;
constexpr std::int64_t kMaxHeatShrinkLength = 500;

// Case-sensitive on purpose: "Hs" and "hS" do not mark heat-shrink tube.
bool is_heat_shrink(const std::string& label) {
    return label.find("HS") != std::string::npos || label.find("hs") != std::string::npos;
}

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

template <std::size_t N>
const TapeRow* first_row_for(const TapeRow (&table)[N], std::int64_t width) {
    for (const TapeRow& row : table) {
        if (row.nominal_mm >= width) return &row;
    }
    return nullptr;
}

bool size_tape(std::int64_t width, FormatRequest& request) {
    const bool heat_shrink = is_heat_shrink(request.label);
    const TapeRow* row = tape_row_for(width, heat_shrink);
    // Heat-shrink tube wider than any row is passed on as asked.
    if (!row) return heat_shrink;
    if (row->printable_mm < width) {
        request.width = row->printable_mm;
        request.media = row->media;
    }
    request.print_dots = row->printable_dots;
    return true;
}

std::int64_t clamp_tape_length(std::int64_t height, const std::string& label) {
    if (height < kMinTapeLength) return kMinTapeLength;
    const std::int64_t most = is_heat_shrink(label) ? kMaxHeatShrinkLength : kMaxTapeLength;
    return height > most ? most : height;
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

const TapeRow* tape_row_for(std::int64_t width, bool heat_shrink) {
    return heat_shrink ? first_row_for(kHeatShrinkTape, width)
                       : first_row_for(kStandardTape, width);
}

bool parse_options(int argc, const char* const argv[], FormatRequest& request, OptionFlags& flags) {
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!read_pair(argv[i], argv[i + 1], request, flags)) return false;
    }
    return true;
}
