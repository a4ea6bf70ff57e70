// Inputs read three ways (the files target, ZK_FUZZ_FILES, only the last: its file calls
// would slow the others a hundredfold). As argument words separated by zero bytes, the
// first the invocation name: parsing must not crash, what it accepts must be a whole add
// or delete in bounds and the same in any order, and what it refuses must name a word.
// As a byte giving a name's length (mod 33), the name, then a driver line: a match
// must stay inside the line and be an identifier the line refers to. As a driver file: a
// rewrite through a filter must give what a model of it gives, and leave no other file.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "../tests/rewrite_model.h"
#include "cli/options.h"
#include "cli/usage.h"
#include "label/format_id.h"
#include "label/models.h"

namespace {

// The request the words give, or none with a reason that names a word.
bool parse(const std::vector<std::string>& words, FormatRequest& r, OptionFlags& flags) {
    const ModelEntry* model = identify_model(words[0]);
    r.model_class = model->model_class;
    r.model_dir = model->directory;
    std::vector<const char*> argv;
    for (const std::string& word : words) argv.push_back(word.c_str());
    const Refusal refusal = parse_options(static_cast<int>(argv.size()), argv.data(), r, flags);
    if (refusal && refusal.what.empty()) __builtin_trap();
    return !refusal;
}

void parse_command_line(const std::string& input) {
    std::vector<std::string> words = split(input, '\0');
    if (!identify_model(words[0])) return;
    FormatRequest r;
    OptionFlags flags;
    if (parse(words, r, flags)) {
        const bool tape = is_tape_model(r);
        const bool one = flags.printer_given && flags.add_given != flags.delete_given &&
                         (flags.delete_given || (flags.width_given && flags.height_given));
        if (!one || r.printer.size() > kMaxPrinterLength || r.label.size() > kMaxLabelLength ||
            r.label.find('\n') != std::string::npos ||
            (flags.add_given && r.label.find('\t') != std::string::npos) ||
            (flags.width_given && r.width <= 0) || (flags.height_given && r.height <= 0) ||
            r.width > kMaxLabelMillimetres || (flags.height_given && tape && r.height > 1000) ||
            (!tape && (r.print_dots || !r.media.empty())) || r.media.size() % 10)
            __builtin_trap();
        // With no option given twice, their order must not matter.
        std::vector<std::string> reversed{words[0]};
        for (std::size_t i = words.size() - 1; i > 1; i -= 2)
            reversed.insert(reversed.end(), {words[i - 1], words[i]});
        std::string letters;
        for (std::size_t i = 1; i < words.size(); i += 2) letters += words[i][1];
        std::sort(letters.begin(), letters.end());
        FormatRequest other;
        OptionFlags ignored;
        if (std::adjacent_find(letters.begin(), letters.end()) == letters.end() &&
            (!parse(reversed, other, ignored) || other.width != r.width ||
             other.height != r.height || other.media != r.media ||
             other.print_dots != r.print_dots))
            __builtin_trap();
    }
    if (usage_text(r).empty()) __builtin_trap();
}

void match_line(std::string_view input) {
    const std::size_t length = input.empty() ? 0 : static_cast<unsigned char>(input[0]) % 33;
    if (input.empty() || input.size() < 1 + length) return;
    const std::string_view name = input.substr(1, length);
    const std::string_view line = input.substr(1 + name.size());
    const std::string_view id = match_format_id(line, name);
    const bool inside = id.data() >= line.data() && id.end() <= line.end();
    if (!id.empty() && (!inside || !refers_to_format(line, id))) __builtin_trap();
}

void rewrite(const std::string& input) {
    // In memory where there is such a folder: every rewrite syncs its file and folder.
    static const TempDir folder(std::filesystem::exists("/dev/shm") ? "/dev/shm/zk-fuzz-XXXXXX"
                                                                    : "/tmp/zk-fuzz-XXXXXX");
    if (!rewrites_as_modelled(folder, input)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    if (ZK_FUZZ_FILES) return rewrite(input), 0;
    parse_command_line(input);
    match_line(input);
    return 0;
}
