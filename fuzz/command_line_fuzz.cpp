// Input: argument words separated by zero bytes; the first is the invocation name.
// Whatever the words, parsing must not crash and what it accepts must be in bounds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/models.h"
#include "cli/options.h"
#include "cli/usage.h"

namespace {

void check(bool holds) {
    if (!holds) __builtin_trap();
}

void check_accepted(const FormatRequest& r, const OptionFlags& flags) {
    check(r.printer.size() <= kMaxPrinterLength);
    check(r.label.size() <= kMaxLabelLength && r.label.find('\n') == std::string::npos);
    if (flags.width_given) check(r.width > 0 && r.width <= kMaxLabelMillimetres);
    if (flags.height_given) check(r.height > 0 && r.height <= kMaxLabelMillimetres);
    if (!is_tape_model(r)) {
        check(r.media.empty() && r.print_dots == 0);
        if (flags.width_given) check(r.width > 3);
        if (flags.height_given) check(r.height > 6);
        return;
    }
    check(r.media.empty() || r.media.size() == 10);
    check(r.print_dots >= 0 && r.print_dots <= 128);
    if (flags.height_given) check(r.height >= 4 && r.height <= 1000);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            words.emplace_back();
        else
            words.back() += static_cast<char>(data[i]);
    }
    const ModelEntry* model = identify_model(words[0]);
    if (!model) return 0;
    FormatRequest request;
    OptionFlags flags;
    request.model_class = model->model_class;
    request.model_dir = model->directory;
    std::vector<const char*> argv;
    for (const std::string& word : words) argv.push_back(word.c_str());
    const int argc = static_cast<int>(argv.size());
    if (argc >= 3 && argc % 2 == 1 && parse_options(argc, argv.data(), request, flags))
        check_accepted(request, flags);
    check(!usage_text(request).empty());
    return 0;
}
