#include "cli/options.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "label/tape.h"

namespace {

const char* const kOptionList =
    "the options are -P, -n, -d, -w and -h; --list, --check, --version and --help stand alone";

std::string quoted(const char* word) { return "'" + std::string(word) + "'"; }

// The option and its value as a diagnostic names them.
std::string pair_words(const char* option, const char* value) {
    return std::string(option) + " " + quoted(value);
}

std::string longer_than(std::size_t most, const char* unit) {
    return "longer than " + std::to_string(most) + " " + unit;
}

std::string printer_fault(const char* value) {
    if (!*value) return "empty";
    return std::strlen(value) > kMaxPrinterLength ? longer_than(kMaxPrinterLength, "bytes") : "";
}

// Only the first two characters name an option: "-Printer" is -P.
Refusal check_option(const char* option) {
    if (option[0] != '-' || option[1] == '\0')
        return {quoted(option), std::string("not an option; ") + kOptionList};
    if (!std::strchr("Pndwh", option[1]))
        return {quoted(option), std::string("unknown option; ") + kOptionList};
    return {};
}

// Checks and stores one pair; widths and lengths wait for the name (see size_pair).
Refusal read_pair(const char* option, const char* value, FormatRequest& request,
                  OptionFlags& flags) {
    if (Refusal refusal = check_option(option)) return refusal;
    std::string why;
    std::int64_t size = 0;
    switch (option[1]) {
        case 'P':
            why = printer_fault(value);
            if (why.empty()) request.printer = value;
            flags.printer_given = true;
            break;
        case 'n':
        case 'd':
            why = name_fault(value, option[1] == 'n');
            if (why.empty()) request.label = value;
            (option[1] == 'n' ? flags.add_given : flags.delete_given) = true;
            break;
        case 'w':
        case 'h':
            why = size_fault(value, size);
            (option[1] == 'w' ? flags.width_given : flags.height_given) = true;
            break;
    }
    if (why.empty()) return {};
    return {pair_words(option, value), why};
}

// Sizes a width or length that read_pair accepted, for the request's final name.
Refusal size_pair(const char* option, const char* value, FormatRequest& request) {
    std::int64_t size = 0;
    size_fault(value, size);
    const bool tape = is_tape_model(request);
    if (option[1] == 'w') {
        request.width = size;
        if (tape && !size_tape(size, request))
            return {pair_words(option, value),
                    std::string("wider than any tape; this model takes ") + kStandardTapeWidths};
        // Nothing printable would be left after the margins.
        if (!tape && size <= kRollWidthMargin)
            return {pair_words(option, value),
                    "roll labels must be wider than " + std::to_string(kRollWidthMargin) + " mm"};
    } else if (option[1] == 'h') {
        request.height = tape ? clamp_tape_length(size, request.label) : size;
        if (!tape && size <= kRollLengthMargin)
            return {pair_words(option, value),
                    "roll labels must be longer than " + std::to_string(kRollLengthMargin) + " mm"};
    }
    return {};
}

Refusal missing_options(const OptionFlags& flags) {
    if (!flags.printer_given) return {"-P", "missing; an add or a delete names the printer"};
    if (flags.add_given && flags.delete_given)
        return {"-n and -d", "both given; a run adds or deletes, not both"};
    if (!flags.add_given && !flags.delete_given)
        return {"-n or -d", "missing; name a format to add (-n) or to delete (-d)"};
    if (flags.add_given && !flags.width_given) return {"-w", "missing; an add needs a width"};
    if (flags.add_given && !flags.height_given) return {"-h", "missing; an add needs a length"};
    return {};
}

// An option word that runs on past its two characters and took an option for its
// value was most likely glued to its own value ("-PTX-M88 -d x"); that is the fault
// to name, not what followed from it.
Refusal glued_option(const char* option, const char* value) {
    if (check_option(option) || std::strlen(option) <= 2 || value[0] != '-' || !value[1]) return {};
    return {quoted(option), "took " + quoted(value) +
                                " for its value; write an option and its value as two words: " +
                                std::string(option, 2) + " " + (option + 2)};
}

}  // namespace

// Reads like strtol: leading blanks and a sign, digits up to the first other
// character, saturating beyond 64 bits. Only values in (0, kMaxLabelMillimetres] pass.
std::string size_fault(const char* value, std::int64_t& out) {
    if (std::strlen(value) > kMaxNumberLength) return longer_than(kMaxNumberLength, "characters");
    char* end = nullptr;
    const long long number = std::strtoll(value, &end, 10);
    if (end == value) return "not a number";
    if (number <= 0) return "not above 0";
    if (number > kMaxLabelMillimetres) return "above " + std::to_string(kMaxLabelMillimetres);
    out = number;
    return {};
}

std::string name_fault(std::string_view label, bool adding) {
    if (label.empty()) return "empty";
    if (label.size() > kMaxLabelLength) return longer_than(kMaxLabelLength, "bytes");
    // A newline would split the driver files' lines, a tab the fields --list shows. A
    // format some other tool named with a tab may still be deleted.
    if (label.find('\n') != std::string_view::npos) return "holds a newline";
    // Only an apply file can hold one; the paper tool would see the name cut short.
    if (label.find('\0') != std::string_view::npos) return "holds a zero byte";
    if (adding && label.find('\t') != std::string_view::npos) return "holds a tab";
    return {};
}

Refusal parse_options(int argc, const char* const argv[], FormatRequest& request,
                      OptionFlags& flags) {
    int at = 1;  // the first word of the pair at fault
    Refusal refusal;
    while (at + 1 < argc && !(refusal = read_pair(argv[at], argv[at + 1], request, flags))) at += 2;
    if (!refusal && at < argc) {
        refusal = check_option(argv[at]);
        if (!refusal) refusal = {quoted(argv[at]), "missing value"};
    }
    if (!refusal) {
        at = 1;
        while (at + 1 < argc && !(refusal = size_pair(argv[at], argv[at + 1], request))) at += 2;
    }
    if (!refusal) refusal = missing_options(flags);
    if (!refusal) return refusal;
    for (int i = 1; i + 1 < argc && i <= at; i += 2) {
        if (Refusal glued = glued_option(argv[i], argv[i + 1])) return glued;
    }
    return refusal;
}

bool is_apply(int argc, const char* const argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--apply" || word == "--prune" || word == "--dry-run") return true;
    }
    return false;
}

Refusal parse_apply(int argc, const char* const argv[], FormatRequest& request,
                    ApplyOptions& apply) {
    bool printer = false, file = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--prune" || word == "--dry-run") {
            (word == "--prune" ? apply.prune : apply.dry_run) = true;
            continue;
        }
        if (word != "--apply" && word.substr(0, 2) != "-P")
            return {quoted(argv[i]),
                    "not an option of --apply, which takes -P, --prune and "
                    "--dry-run"};
        if (i + 1 == argc) return {quoted(argv[i]), "missing value"};
        const char* value = argv[++i];
        if (word == "--apply") {
            apply.file = value;
            file = true;
        } else {
            if (std::string why = printer_fault(value); !why.empty())
                return {pair_words(argv[i - 1], value), why};
            request.printer = value;
            printer = true;
        }
    }
    if (!file) return {"--apply", "missing; name the file of formats (- for standard input)"};
    if (!printer) return {"-P", "missing; an apply names the printer"};
    return {};
}

bool is_repair(int argc, const char* const argv[]) {
    return std::any_of(argv + 1, argv + argc,
                       [](const char* word) { return std::string_view(word) == "--repair"; });
}

Refusal parse_repair(int argc, const char* const argv[], FormatRequest& request) {
    bool printer = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--repair") continue;
        if (word != "-P") return {quoted(argv[i]), "not an option of --repair, which takes -P"};
        if (i + 1 == argc) return {quoted(argv[i]), "missing value"};
        const char* value = argv[++i];
        if (std::string why = printer_fault(value); !why.empty())
            return {pair_words(argv[i - 1], value), why};
        request.printer = value;
        printer = true;
    }
    if (!printer) return {"-P", "missing; a repair names the printer"};
    return {};
}
