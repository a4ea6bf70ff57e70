#include <string>

#include "store/format_lookup.h"
#include "store/plan.h"
#include "store/store.h"

Outcome plan_delete(const FormatRequest& request, const DriverPaths& paths, FormatStep& step) {
    step = {FormatStep::kDelete, request.label, 0, 0, {}, 0, {}, {}, 0, 0};
    // The function file lists the format; the other files hold its lines by identifier.
    const Outcome listed = find_format_id(paths.function_file, request.label, step.id);
    if (!listed.ok()) return listed;
    const FormatSize old = find_format_size(paths.paper_info_file, is_tape_model(request), step.id);
    step.old_width = old.width;
    step.old_height = old.length;
    return {};
}

Outcome delete_label_format(const FormatRequest& request, const DriverPaths& paths) {
    Plan plan{request.printer, {FormatStep{}}};
    const Outcome listed = plan_delete(request, paths, plan.steps[0]);
    if (!listed.ok() && listed.result != RESULT_NOT_FOUND) return listed;
    PlanRun run;
    if (Outcome done = carry_out(plan, request, paths, run); !done.ok()) return done;
    // Not listed, or listed without sizes: the paper tool was asked all the same.
    return listed.ok() && run.paper_info_dropped > 0 ? Outcome{} : Outcome{RESULT_NOT_FOUND};
}
