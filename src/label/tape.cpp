#include "label/tape.h"

#include <iterator>

namespace {

// Keep kStandardTapeWidths in step.
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

template <std::size_t N>
const TapeRow* first_row_for(const TapeRow (&table)[N], std::int64_t width) {
    for (const TapeRow& row : table) {
        if (row.nominal_mm >= width) return &row;
    }
    return nullptr;
}

}  // namespace

// Case-sensitive on purpose: "Hs" and "hS" do not mark heat-shrink tube.
bool is_heat_shrink(const std::string& label) {
    return label.find("HS") != std::string::npos || label.find("hs") != std::string::npos;
}

const TapeRow* tape_row_for(std::int64_t width, bool heat_shrink) {
    return heat_shrink ? first_row_for(kHeatShrinkTape, width)
                       : first_row_for(kStandardTape, width);
}

bool size_tape(std::int64_t width, FormatRequest& request) {
    const bool heat_shrink = is_heat_shrink(request.label);
    const TapeRow* row = tape_row_for(width, heat_shrink);
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

std::string without_padding(std::string_view media) {
    const std::size_t first = media.find_first_not_of('_');
    if (first == std::string_view::npos) return {};
    return std::string(media.substr(first, media.find_last_not_of('_') + 1 - first));
}

std::string listed_tape(std::int64_t width, std::string_view media, long long width_dots) {
    if (!media.empty()) return without_padding(media);
    for (bool heat_shrink : {false, true}) {
        const TapeRow* row = tape_row_for(width, heat_shrink);
        if (row && row->printable_mm >= width && row->printable_dots == width_dots)
            return without_padding(row->media);
    }
    return {};
}

const TapeRow* tape_row_named(std::string_view tape) {
    for (const auto* table : {std::begin(kStandardTape), std::begin(kHeatShrinkTape)}) {
        const TapeRow* end = table == std::begin(kStandardTape) ? std::end(kStandardTape)
                                                                : std::end(kHeatShrinkTape);
        for (const TapeRow* row = table; row != end; ++row) {
            if (without_padding(row->media) == tape) return row;
        }
    }
    return nullptr;
}
