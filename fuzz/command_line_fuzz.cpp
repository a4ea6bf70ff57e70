// Input: argument words separated by zero bytes; the first is the invocation name.
// Whatever the words, parsing must not crash and what it accepts must be in bounds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/models.h"
#include "cli/options.h"
#include "cli/usage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) words.emplace_back();
        if (data[i] != 0) words.back() += static_cast<char>(data[i]);
    }
    const ModelEntry* model = identify_model(words[0]);
    if (!model) return 0;
    FormatRequest r;
    OptionFlags flags;
    r.model_class = model->model_class;
    r.model_dir = model->directory;
    std::vector<const char*> argv;
    for (const std::string& word : words) argv.push_back(word.c_str());
    const int argc = static_cast<int>(argv.size());
    if (argc % 2 == 1 && parse_options(argc, argv.data(), r, flags)) {
        const bool tape = is_tape_model(r);
        if (r.printer.size() > kMaxPrinterLength || r.label.size() > kMaxLabelLength ||
            r.label.find('\n') != std::string::npos || r.width < 0 || r.height < 0 ||
            r.width > kMaxLabelMillimetres || (flags.height_given && tape && r.height > 1000) ||
            (!tape && (r.print_dots || !r.media.empty())) || (r.media.size() % 10))
            __builtin_trap();
    }
    if (usage_text(r).empty()) __builtin_trap();
    return 0;
}
