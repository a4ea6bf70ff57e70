#include <string>

#include "label/format_id.h"
#include "store/format_lookup.h"
#include "store/plan.h"
#include "store/store.h"

Outcome plan_add(const FormatRequest& request, const DriverPaths& paths, const timeval& now,
                 FormatStep& step, int* marks) {
    step = {FormatStep::kAdd,
            request.label,
            request.width,
            request.height,
            request.media,
            request.print_dots,
            {},
            {},
            0,
            0};
    // An add of a name the driver lists replaces that format, in the same one change.
    if (Outcome listed = find_format_id(paths.function_file, request.label, step.old_id, marks);
        !listed.ok() && listed.result != RESULT_NOT_FOUND)
        return listed;
    if (!step.old_id.empty()) {
        const FormatSize old =
            find_format_size(paths.paper_info_file, is_tape_model(request), step.old_id);
        step.old_width = old.width;
        step.old_height = old.length;
    }
    step.id = build_format_id(request, now);
    // A format deleted from the function file alone still holds its identifier in the
    // other files.
    return choose_unused_format_id(paths.format_files(), step.id);
}

Outcome add_label_format(const FormatRequest& request, const DriverPaths& paths,
                         const timeval& now) {
    Plan plan{request.printer, {FormatStep{}}};
    if (Outcome planned = plan_add(request, paths, now, plan.steps[0], &plan.marks); !planned.ok())
        return planned;
    PlanRun run;
    return carry_out(plan, request, paths, run);
}
