// zkpapertoollpr: adds and deletes custom label formats of one printer model's driver.
// The name it is run under picks the model; see print_usage for the command line.
#include <sys/time.h>

#include <cstdio>
#include <cstring>

#include "cli/models.h"
#include "cli/options.h"
#include "cli/request.h"
#include "cli/usage.h"
#include "store/store.h"

#ifndef ZKPAPERTOOL_DRIVER_ROOT
#define ZKPAPERTOOL_DRIVER_ROOT "/opt/zentrik"
#endif

namespace {

// The driver package's scripts read -1 from us; the shell sees it as 255.
constexpr int kExitFailed = 255;

enum class Operation { kNone, kAdd, kDelete };

Operation choose_operation(const OptionFlags& flags) {
    if (!flags.printer_given) return Operation::kNone;
    if (flags.add_given) {
        const bool complete = !flags.delete_given && flags.width_given && flags.height_given;
        return complete ? Operation::kAdd : Operation::kNone;
    }
    return flags.delete_given ? Operation::kDelete : Operation::kNone;
}

// Whether the words after the name are whole option/value pairs, at least one.
bool comes_in_pairs(int argc) { return argc >= 3 && argc % 2 == 1; }

}  // namespace

int main(int argc, char* argv[]) {
    FormatRequest request;
    OptionFlags flags;

    // A caller may exec us with no argument words at all; that names no model.
    const char* invocation = argc > 0 && argv[0] ? argv[0] : "";
    const ModelEntry* model = identify_model(invocation);
    if (!model) {
        std::printf("%s is invalid.\n\n", invocation);
        return 0;
    }
    request.model_class = model->model_class;
    request.model_dir = model->directory;

    Operation operation = Operation::kNone;
    if (comes_in_pairs(argc) && parse_options(argc, argv, request, flags))
        operation = choose_operation(flags);
    if (operation == Operation::kNone) {
        print_usage(request);
        return 0;
    }

    install_interrupt_cleanup();
    const DriverPaths paths = driver_paths(ZKPAPERTOOL_DRIVER_ROOT, request.model_dir);
    // One run per model at a time, from the first read to the last rename of the add.
    DriverLock lock;
    Outcome outcome = lock.take(paths);
    // An add starts by deleting any older format of the same name.
    if (outcome.ok()) outcome = delete_label_format(request, paths);
    if (outcome.result == RESULT_FILE_ERROR) {
        std::printf("%s\n", std::strerror(outcome.error));
        return kExitFailed;
    }
    // The paper tool has said why it failed, on our output.
    if (outcome.result == RESULT_COMMAND_FAILED) return kExitFailed;
    if (operation == Operation::kDelete) {
        if (outcome.result == RESULT_NOT_FOUND)
            std::printf("Not found '%s'\n", request.label.c_str());
        return 0;
    }

    timeval now{};
    gettimeofday(&now, nullptr);
    outcome = add_label_format(request, paths, now);
    return outcome.ok() ? 0 : kExitFailed;
}
