// The one request record that the command line fills and the store reads, and the
// limits its values keep to.
#pragma once

#include <cstdint>
#include <string>

// model_class values 0 to 2 are the roll-label printers; only this split matters.
constexpr std::int32_t kTapeModelClass = 3;

// Longest value that -P, and -n/-d, accept; what the driver files were sized for.
constexpr std::size_t kMaxPrinterLength = 1024;
constexpr std::size_t kMaxLabelLength = 32;
constexpr std::size_t kMaxNumberLength = 32;

// Roll-label printers lose this much to their margins: across and along the label.
constexpr std::int64_t kRollWidthMargin = 3;
constexpr std::int64_t kRollLengthMargin = 6;

// Largest width or length in millimetres. At 300 dots per inch this is about
// 1.18e9 dots, so no dot or point count derived from it leaves the int32 range.
constexpr std::int64_t kMaxLabelMillimetres = 100'000'000;

struct FormatRequest {
    std::int32_t model_class = 0;
    std::string model_dir;
    std::string printer;
    std::string label;
    std::string media;  // ten characters from a tape row, or empty
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t print_dots = 0;  // printable tape width at 180 dpi; 0 without a row
};

inline bool is_tape_model(const FormatRequest& request) {
    return request.model_class == kTapeModelClass;
}
