#include "cli/apply_command.h"

#include <sys/time.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/apply_file.h"
#include "cli/messages.h"
#include "cli/report.h"
#include "store/apply.h"
#include "store/store.h"

namespace {

void print_changes(const std::vector<AppliedChange>& changes) {
    static const char* const kWords[] = {"added", "replaced", "deleted"};
    for (const AppliedChange& change : changes) {
        const std::string line =
            std::string(kWords[change.kind]) + "\t" + escaped(change.name) + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
}

// A name only some other tool could give a format (a tab splits --list's fields) may be
// kept, never written anew.
Refusal unwritable(const std::vector<AppliedChange>& changes,
                   const std::vector<WantedFormat>& wanted, const std::vector<int>& lines,
                   const std::string& file) {
    for (const AppliedChange& change : changes) {
        if (change.kind == AppliedChange::kDeleted || change.name.find('\t') == std::string::npos)
            continue;
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            if (wanted[i].name == change.name)
                return {file + ":" + std::to_string(lines[i]),
                        "'" + change.name + "': holds a tab"};
        }
    }
    return {};
}

}  // namespace

int run_apply(const FormatRequest& request, const DriverPaths& paths, const ApplyOptions& apply) {
    std::vector<WantedFormat> wanted;
    std::vector<int> lines;
    if (Refusal refused = read_apply_file(apply.file, request, wanted, lines)) {
        diagnose(refused.what, refused.why);
        return kExitFailed;
    }
    // A dry run reads as a listing does; an apply changes as an add does, after finishing
    // what killed runs left.
    DriverLock lock;
    if (Outcome locked = lock.take(
            paths, apply.dry_run ? DriverLock::kShared : DriverLock::kExclusive, lock_events());
        !locked.ok())
        return report(locked);
    if (!apply.dry_run) {
        if (Outcome finished = finish_recorded_operations(request, paths, recovery_events());
            !finished.ok())
            return report(finished);
    }
    timeval now{};
    gettimeofday(&now, nullptr);
    Plan plan;
    std::vector<AppliedChange> changes;
    if (Outcome planned = plan_apply(request, paths, wanted, apply.prune, now, plan, changes);
        !planned.ok())
        return report(planned);
    if (Refusal refused = unwritable(changes, wanted, lines, apply.file)) {
        diagnose(refused.what, refused.why);
        return kExitFailed;
    }
    if (apply.dry_run || plan.steps.empty()) {
        print_changes(changes);
        return apply.dry_run && !changes.empty() ? 1 : 0;
    }
    PlanRun run;
    const Outcome done = carry_out(plan, request, paths, run);
    if (done.result == RESULT_COMMAND_FAILED)
        return report_step(done, "'" + escaped(plan.steps[run.failed_step].name) + "'");
    if (!done.ok()) return report(done);
    print_changes(changes);
    return 0;
}
