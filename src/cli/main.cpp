// zkpapertoollpr: adds, deletes and lists custom label formats of one printer model's
// driver. The name it is run under picks the model; see print_usage for the command line.
#include <sys/time.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "cli/apply_command.h"
#include "cli/driver_root.h"
#include "cli/messages.h"
#include "cli/options.h"
#include "cli/report.h"
#include "cli/usage.h"
#include "label/models.h"
#include "label/request.h"
#include "store/check.h"
#include "store/repair.h"
#include "store/store.h"

namespace {

enum class Operation { kUsage, kVersion, kList, kCheck, kAdd, kDelete, kApply, kRepair, kRefused };

// Each word counts only as the one word after the name; elsewhere it is a bad option.
constexpr struct {
    std::string_view word;
    Operation operation;
} kWords[] = {
    {"--list", Operation::kList},
    {"--check", Operation::kCheck},
    {"--version", Operation::kVersion},
    {"--help", Operation::kUsage},
};

// kUsage with `refusal` set when the command line is at fault; kRefused for a faulty
// apply or repair, whose status scripts read: 0 would say a repair mended everything.
Operation read_command_line(int argc, char* argv[], FormatRequest& request, ApplyOptions& apply,
                            Refusal& refusal) {
    if (argc == 2) {
        for (const auto& word : kWords) {
            if (argv[1] == word.word) return word.operation;
        }
    }
    // What scripts read a status from refuses a command line it cannot run with a
    // failure, never with the usage screen's 0 (which --check would mean "sound").
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) != "--check") continue;
        refusal = {"'--check'", "stands alone after the command name"};
        return Operation::kRefused;
    }
    if (is_apply(argc, argv)) {
        refusal = parse_apply(argc, argv, request, apply);
        return refusal ? Operation::kRefused : Operation::kApply;
    }
    if (is_repair(argc, argv)) {
        refusal = parse_repair(argc, argv, request);
        return refusal ? Operation::kRefused : Operation::kRepair;
    }
    OptionFlags flags;
    refusal = parse_options(argc, argv, request, flags);
    if (refusal) return Operation::kUsage;
    return flags.add_given ? Operation::kAdd : Operation::kDelete;
}

std::string command_names() {
    std::string names;
    for (const ModelEntry& model : all_models())
        names += (names.empty() ? "" : ", ") + std::string("zkpapertoollpr_") + model.directory;
    return names;
}

int list(const FormatRequest& request, const DriverPaths& paths) {
    std::string line;
    const Outcome outcome = list_label_formats(request, paths, [&line](const ListedFormat& format) {
        // Escaped, a name (the user's text) takes one field of one line.
        const std::size_t most = 4 * (format.name.size() + format.tape.size()) + 64;
        if (line.size() < most) line.resize(most);
        char* at = write_escaped(line.data(), format.name);
        for (const std::int64_t size : {format.width, format.length}) {
            *at++ = '\t';
            at = std::to_chars(at, line.data() + line.size(), size).ptr;
        }
        if (!format.tape.empty()) {
            *at++ = '\t';
            at = write_escaped(at, format.tape);
        }
        *at++ = '\n';
        std::fwrite(line.data(), 1, static_cast<std::size_t>(at - line.data()), stdout);
    });
    return outcome.ok() ? 0 : report(outcome);
}

// Exit statuses of a check.
constexpr int kExitSound = 0;
constexpr int kExitProblems = 1;

// "<path>:<line>: <text>", or "<path>: <text>" where no line is at fault: a check's
// and a repair's lines.
void print_at(std::string_view path, long line, std::string_view text) {
    const int path_length = static_cast<int>(path.size());
    const int text_length = static_cast<int>(text.size());
    if (line > 0) {
        std::printf("%.*s:%ld: %.*s\n", path_length, path.data(), line, text_length, text.data());
    } else {
        std::printf("%.*s: %.*s\n", path_length, path.data(), text_length, text.data());
    }
}

int check(const DriverPaths& paths) {
    bool found = false;
    const Outcome outcome = check_driver(paths, [&found](const CheckRecord& record) {
        found = true;
        print_at(record.path, record.line, record.text);
    });
    return outcome.ok() ? (found ? kExitProblems : kExitSound) : report_on_standard_error(outcome);
}

// What a repair did, then what it kept, one line each, as a check's lines are.
int repair(const FormatRequest& request, const DriverPaths& paths, DriverLock& lock) {
    bool kept = false;
    std::string failed;
    const Outcome outcome = repair_driver(
        request, paths, lock, recovery_events(),
        [&kept](const RepairRecord& record) {
            kept = kept || record.kept;
            print_at(record.path, record.line, record.text);
        },
        failed);
    if (outcome.result == RESULT_COMMAND_FAILED) return report_step(outcome, "'" + failed + "'");
    if (!outcome.ok()) return report_on_standard_error(outcome);
    return kept ? kExitProblems : kExitSound;
}

int run(int argc, char* argv[]) {
    FormatRequest request;

    // A caller may exec us with no argument words at all; that names no model.
    const char* invocation = argc > 0 && argv[0] ? argv[0] : "";
    const ModelEntry* model = identify_model(invocation);
    if (!model) {
        std::printf("%s is invalid.\n\n", invocation);
        diagnose("no printer model in the command's name", "run it as " + command_names());
        return 0;
    }
    request.model_class = model->model_class;
    request.model_dir = model->directory;

    Refusal refusal;
    ApplyOptions apply;
    const Operation operation = read_command_line(argc, argv, request, apply, refusal);
    if (operation == Operation::kUsage) {
        print_usage(request);
        if (refusal) diagnose(refusal.what, refusal.why);
        return 0;
    }
    if (operation == Operation::kRefused) {
        diagnose(refusal.what, refusal.why);
        return kExitFailed;
    }
    if (operation == Operation::kVersion) {
        std::fputs(version_text().c_str(), stdout);
        return 0;
    }

    install_interrupt_cleanup();
    const DriverPaths paths = driver_paths(driver_root(), request.model_dir);
    if (operation == Operation::kApply) return run_apply(request, paths, apply);
    // One run per model changes its files at a time, from the first read to the last
    // rename; a listing only waits for a change to end. A check changes nothing, not
    // even what a killed run left: that is what it reports.
    const bool listing = operation == Operation::kList;
    const bool checking = operation == Operation::kCheck;
    const bool repairing = operation == Operation::kRepair;
    DriverLock lock;
    if (Outcome locked = lock.take(paths,
                                   listing     ? DriverLock::kShared
                                   : checking  ? DriverLock::kInspect
                                   : repairing ? DriverLock::kRepair
                                               : DriverLock::kExclusive,
                                   lock_events());
        !locked.ok())
        return checking || repairing ? report_on_standard_error(locked) : report(locked);
    if (listing) {
        say_waiting_operations(paths);
        return list(request, paths);
    }
    if (checking) return check(paths);
    if (repairing) return repair(request, paths, lock);
    // What a killed run left is done before anything of this run's.
    if (Outcome finished = finish_recorded_operations(request, paths, recovery_events());
        !finished.ok())
        return report(finished);

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

}  // namespace

int main(int argc, char* argv[]) {
    set_program_name(argc > 0 ? argv[0] : nullptr);
    const int status = run(argc, argv);
    // Output that never reached its reader (a full disk, a closed pipe) fails the run.
    return close_standard_output() ? status : kExitFailed;
}
