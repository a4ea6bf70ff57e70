// zkpapertoollpr: adds, deletes and lists custom label formats of one printer model's
// driver. The name it is run under picks the model; see print_usage for the command line.
#include <sys/time.h>

#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "cli/driver_root.h"
#include "cli/messages.h"
#include "cli/options.h"
#include "cli/report.h"
#include "cli/usage.h"
#include "label/models.h"
#include "label/request.h"
#include "store/store.h"

namespace {

enum class Operation { kUsage, kVersion, kList, kAdd, kDelete };

// Each word counts only as the one word after the name; elsewhere it is a bad option.
constexpr struct {
    std::string_view word;
    Operation operation;
} kWords[] = {
    {"--list", Operation::kList},
    {"--version", Operation::kVersion},
    {"--help", Operation::kUsage},
};

Operation choose_operation(const OptionFlags& flags) {
    if (!flags.printer_given) return Operation::kUsage;
    if (flags.add_given) {
        const bool complete = !flags.delete_given && flags.width_given && flags.height_given;
        return complete ? Operation::kAdd : Operation::kUsage;
    }
    return flags.delete_given ? Operation::kDelete : Operation::kUsage;
}

Operation read_command_line(int argc, char* argv[], FormatRequest& request) {
    if (argc == 2) {
        for (const auto& word : kWords) {
            if (argv[1] == word.word) return word.operation;
        }
    }
    // The words after the name must be whole option/value pairs, at least one.
    OptionFlags flags;
    if (argc < 3 || argc % 2 == 0 || !parse_options(argc, argv, request, flags))
        return Operation::kUsage;
    return choose_operation(flags);
}

int list(const FormatRequest& request, const DriverPaths& paths) {
    std::vector<ListedFormat> formats;
    const Outcome outcome = list_label_formats(request, paths, formats);
    if (!outcome.ok()) return report(outcome);
    for (const ListedFormat& format : formats) {
        std::printf("%s\t%lld\t%lld", format.name.c_str(), static_cast<long long>(format.width),
                    static_cast<long long>(format.length));
        std::printf(format.tape.empty() ? "\n" : "\t%s\n", format.tape.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    FormatRequest request;

    // A caller may exec us with no argument words at all; that names no model.
    const char* invocation = argc > 0 && argv[0] ? argv[0] : "";
    set_program_name(invocation);
    const ModelEntry* model = identify_model(invocation);
    if (!model) {
        std::printf("%s is invalid.\n\n", invocation);
        return 0;
    }
    request.model_class = model->model_class;
    request.model_dir = model->directory;

    const Operation operation = read_command_line(argc, argv, request);
    if (operation == Operation::kUsage) {
        print_usage(request);
        return 0;
    }
    if (operation == Operation::kVersion) {
        std::fputs(version_text().c_str(), stdout);
        return 0;
    }

    install_interrupt_cleanup();
    const DriverPaths paths = driver_paths(driver_root(), request.model_dir);
    // One run per model changes its files at a time, from the first read to the last
    // rename; a listing only waits for a change to end.
    const bool listing = operation == Operation::kList;
    DriverLock lock;
    if (Outcome locked =
            lock.take(paths, listing ? DriverLock::kShared : DriverLock::kExclusive, lock_events());
        !locked.ok())
        return report(locked);
    if (listing) return list(request, paths);

    if (operation == Operation::kDelete) {
        const Outcome deleted = delete_label_format(request, paths);
        if (deleted.result == RESULT_NOT_FOUND)
            std::printf("Not found '%s'\n", request.label.c_str());
        return report(deleted);
    }
    // An add of a name the driver holds replaces that format.
    timeval now{};
    gettimeofday(&now, nullptr);
    return report(add_label_format(request, paths, now));
}
