#include "cli/report.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/driver_root.h"
#include "cli/messages.h"

namespace {

// How the paper tool ended, for a diagnostic.
std::string tool_failure(const Outcome& outcome) {
    if (outcome.error) return std::strerror(outcome.error);
    const int status = outcome.tool_status;
    if (WIFSIGNALED(status))
        return "killed by signal " + std::to_string(WTERMSIG(status)) + " (" +
               strsignal(WTERMSIG(status)) + ")";
    return "exited with status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : status);
}

// What a recorded plan did: "the add of 'Tag'", "the apply of 12 formats".
std::string plan_words(const Plan& plan) {
    const bool repair =
        std::all_of(plan.steps.begin(), plan.steps.end(),
                    [](const FormatStep& step) { return step.kind == FormatStep::kRegister; });
    if (plan.steps.size() != 1)
        return std::string(repair ? "the registration" : "the apply") + " of " +
               std::to_string(plan.steps.size()) + " formats";
    const FormatStep& step = plan.steps[0];
    const char* kind = step.kind == FormatStep::kDelete     ? "delete"
                       : step.kind == FormatStep::kRegister ? "registration"
                       : step.old_id.empty()                ? "add"
                                                            : "replace";
    return std::string("the ") + kind + " of '" + step.name + "'";
}

}  // namespace

// Why the operation failed, with the process a wait gave up on and what became of the
// paper tool's side.
void diagnose_failure(const Outcome& outcome) {
    std::string why = outcome.result == RESULT_COMMAND_FAILED ? tool_failure(outcome)
                      : outcome.why                           ? outcome.why
                                                              : std::strerror(outcome.error);
    if (outcome.holder)
        why += ": process " + std::to_string(outcome.holder) + " (" + process_name(outcome.holder) +
               ")";
    if (outcome.aftermath) why += "; " + std::string(outcome.aftermath);
    std::fflush(stdout);
    diagnose(outcome.subject, why);
}

int report(const Outcome& outcome) {
    if (outcome.ok() || outcome.result == RESULT_NOT_FOUND) return 0;
    if (outcome.result == RESULT_FILE_ERROR) {
        // Where no system error tells it, the driver package's scripts get no text.
        if (!outcome.why) std::printf("%s\n", std::strerror(outcome.error));
    } else if (outcome.error) {
        // A paper tool that ran has said why it failed, on our output; one that could
        // not start cannot.
        std::printf("%s: %s\n", outcome.subject.c_str(), std::strerror(outcome.error));
    }
    diagnose_failure(outcome);
    return kExitFailed;
}

int report_on_standard_error(const Outcome& outcome) {
    diagnose_failure(outcome);
    return kExitFailed;
}

DriverLock::Events lock_events() {
    DriverLock::Events events;
    events.wait_seconds = wait_limit_seconds();
    events.waiting = [](pid_t holder, const std::string& name) {
        const std::string who = holder > 0 ? "process " + std::to_string(holder) + " (" + name + ")"
                                           : "another process";
        diagnose("waiting for the driver lock", who + " is changing this driver");
    };
    events.unfinished = [](const Outcome& why) {
        diagnose(why.subject, std::string(why.why ? why.why : std::strerror(why.error)) +
                                  "; a change a killed run left could not be finished, so "
                                  "the files are read as it committed them");
    };
    return events;
}

RecoveryEvents recovery_events() {
    RecoveryEvents events;
    events.wait_seconds = wait_limit_seconds();
    events.waiting = [](pid_t tool, const std::string& name) {
        diagnose("waiting for the paper tool a killed run left",
                 "process " + std::to_string(tool) + " (" + name + ") is still working");
    };
    events.finished = [](const Plan& plan, const PlanRun& run, const Outcome& outcome) {
        const std::string what = plan_words(plan) + " a killed run left";
        if (outcome.ok()) return diagnose(what, "finished now");
        if (outcome.result != RESULT_COMMAND_FAILED) return;
        std::string why = "the paper tool refused '" + plan.steps[run.failed_step].name + "' (" +
                          tool_failure(outcome) + ")";
        if (outcome.aftermath) why += "; " + std::string(outcome.aftermath);
        diagnose(what, why + "; no file changed");
    };
    events.left_to_owner = [](const Plan& plan, uid_t owner) {
        diagnose(plan_words(plan) + " a killed run of user " + std::to_string(owner) + " left",
                 "waits for that user's or root's next change on this driver");
    };
    return events;
}

void say_waiting_operations(const DriverPaths& paths) {
    for (const Plan& plan : waiting_operations(paths))
        diagnose(plan_words(plan) + " a killed run left",
                 "waits for the next change on this driver; the files are listed as they are");
}

int report_step(const Outcome& outcome, const std::string& format) {
    std::string why = outcome.subject + ": " + tool_failure(outcome);
    if (outcome.aftermath) why += "; " + std::string(outcome.aftermath);
    diagnose(format, why + "; no file changed");
    return kExitFailed;
}
