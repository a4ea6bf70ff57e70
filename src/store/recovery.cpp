#include <fcntl.h>
#include <pwd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "durable/operation_record.h"
#include "durable/unique_fd.h"
#include "store/plan_steps.h"
#include "store/store.h"

namespace {

constexpr long kPollNanoseconds = 50'000'000;
constexpr int kPollsPerSecond = 20;

// Waits for the paper tool a killed run of `token` left to end: no run works beside it.
Outcome wait_for_left_tool(int folder_fd, const RecordedOperation& operation,
                           const DriverPaths& paths, const RecoveryEvents& events) {
    pid_t left = 0;
    for (int poll = 0; (left = left_child(folder_fd, operation, paths.paper_tool)) != 0; ++poll) {
        if (poll == kPollsPerSecond && events.waiting) events.waiting(left, process_name(left));
        if (poll >= events.wait_seconds * kPollsPerSecond) {
            Outcome stuck = file_error(0, paths.paper_tool);
            stuck.why = "gave up waiting for the paper tool a killed run left";
            stuck.holder = left;
            return stuck;
        }
        const timespec pause{0, kPollNanoseconds};
        ::nanosleep(&pause, nullptr);
    }
    return {};
}

}  // namespace

Outcome finish_recorded_operations(const FormatRequest& model, const DriverPaths& paths,
                                   const RecoveryEvents& events) {
    const UniqueFd folder(::open(paths.inf_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid()) return file_error(errno, paths.inf_dir);
    for (const RecordedOperation& recorded :
         recorded_operations(folder.get(), paths.format_file_names(), true)) {
        Plan plan;
        if (!read_plan(recorded.text, plan)) {
            // Not a plan this version can carry out; the next person to look sees it.
            continue;
        }
        // The paper tool acts for whoever recorded the plan, never with more rights: root
        // runs it as them; anyone else leaves another's plan to them.
        ToolStart tool;
        if (recorded.owner != ::geteuid()) {
            const passwd* owner = ::getpwuid(recorded.owner);
            if (::geteuid() != 0 || !owner) {
                if (events.left_to_owner) events.left_to_owner(plan, recorded.owner);
                continue;
            }
            tool.uid = recorded.owner;
            tool.gid = owner->pw_gid;
        }
        if (Outcome waited = wait_for_left_tool(folder.get(), recorded, paths, events);
            !waited.ok())
            return waited;
        ChildNote note;
        (void)note.create(folder.get(), recorded.token);
        tool.note = &note;
        PlanRun run;
        const Outcome done =
            run_plan(plan, model, paths,
                     {folder.get(), recorded.token, tool, true, nullptr, nullptr, nullptr}, run);
        if (events.finished) events.finished(plan, run, done);
        // A refused plan ends as a refused run ends; a file failure stops everything.
        if (!done.ok() && done.result != RESULT_COMMAND_FAILED) return done;
    }
    return {};
}

std::vector<Plan> waiting_operations(const DriverPaths& paths) {
    std::vector<Plan> plans;
    const UniqueFd folder(::open(paths.inf_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid()) return plans;
    for (const RecordedOperation& recorded :
         recorded_operations(folder.get(), paths.format_file_names(), false)) {
        if (Plan plan; read_plan(recorded.text, plan)) plans.push_back(std::move(plan));
    }
    return plans;
}
