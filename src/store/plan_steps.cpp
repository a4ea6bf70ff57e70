#include "store/plan_steps.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <unordered_set>

#include "durable/line_reader.h"
#include "durable/rewrite.h"
#include "label/format_id.h"
#include "store/format_edits.h"
#include "store/format_lookup.h"
#include "store/paper_tool.h"

namespace {

bool exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0 || errno != ENOENT;
}

bool adds(const Plan& plan) {
    return std::any_of(plan.steps.begin(), plan.steps.end(),
                       [](const FormatStep& step) { return step.kind == FormatStep::kAdd; });
}

bool takes_out(const Plan& plan) {
    return std::any_of(plan.steps.begin(), plan.steps.end(), [](const FormatStep& step) {
        return step.kind == FormatStep::kAdd ? !step.old_id.empty()
                                             : step.kind == FormatStep::kDelete && !step.id.empty();
    });
}

// Registers the format a step replaced or deleted again, as the files still hold it.
bool register_old(const FormatRequest& request, const FormatStep& step, const DriverPaths& paths,
                  const ToolStart& tool) {
    const std::string& id = step.kind == FormatStep::kAdd ? step.old_id : step.id;
    return run_paper_tool(add_command(paths, request, step.old_width, step.old_height, id), tool)
        .ok();
}

// Undoes a step whose calls all went through: an added format deleted, a replaced or
// deleted one registered again with its old sizes and identifier.
bool undo(const FormatRequest& request, const FormatStep& step, const DriverPaths& paths,
          const ToolStart& tool) {
    if (step.kind == FormatStep::kAdd && step.old_id.empty())
        return run_paper_tool(delete_command(paths, request), tool).ok();
    if (step.kind == FormatStep::kRegister || (step.kind == FormatStep::kDelete && step.id.empty()))
        return true;
    return register_old(request, step, paths, tool);
}

// A step's calls: -d, then for a new registration -n. When -n fails, what -d took is
// registered again.
Outcome run_step(const FormatRequest& request, const FormatStep& step, const DriverPaths& paths,
                 const ToolStart& tool) {
    if (Outcome deleted = run_paper_tool(delete_command(paths, request), tool); !deleted.ok())
        return deleted;
    if (step.kind == FormatStep::kDelete) return {};
    Outcome added =
        run_paper_tool(add_command(paths, request, step.width, step.height, step.id), tool);
    if (!added.ok() && !step.old_id.empty())
        added.aftermath = register_old(request, step, paths, tool)
                              ? "the old format is registered again"
                              : "registering the old format again failed too";
    return added;
}

// Whether `filter` would change any line of `path` (`changed`); a missing file changes
// nothing. Returns 0 or the errno of a failed read.
int changes(const std::string& path, const LineFilter& filter, bool& changed) {
    InputFile in;
    if (const int error = in.open(path)) return error == ENOENT ? 0 : error;
    Stretch stretch;
    long got;
    while (!changed && (got = next_stretch(in, filter.needles, stretch)) > 0) {
        changed = stretch.kind == Stretch::kMarked &&
                  filter.decide(up_to_first_zero(stretch.bytes)).action != LineDecision::kCopy;
    }
    return !changed && got < 0 ? in.error() : 0;
}

// Whether a killed run committed the plan already (its record outlived the commit, as
// after a power cut): the function file lists one of its new identifiers. A plan that
// only takes formats out needs no such test; doing that again changes nothing.
bool committed_already(const Plan& plan, const DriverPaths& paths) {
    for (const FormatStep& step : plan.steps) {
        std::string listed;
        if (step.kind == FormatStep::kAdd &&
            find_format_id(paths.function_file, step.name, listed).ok() && listed == step.id)
            return true;
    }
    return false;
}

Outcome commit_plan(const Plan& plan, const FormatRequest& model, const DriverPaths& paths,
                    const PlanContext& context, PlanRun& run) {
    FileChange own(context.token);
    FileChange& change = context.change ? *context.change : own;
    if (context.again && committed_already(plan, paths)) return change.commit(paths.inf_dir);
    if (context.edits && !context.edits->empty()) {
        for (const FileEdit& edit : *context.edits) {
            if (Outcome staged = change.stage(edit.path, edit.filter); !staged.ok()) return staged;
        }
        return change.commit(paths.inf_dir);
    }
    PlannedFiles found;
    const PlannedFiles* planned = context.planned;
    if (!planned) {
        if (Outcome listed = plan_files(plan, model, paths, found.files, found.shared);
            !listed.ok())
            return listed;
        planned = &found;
    }
    const FormatEdits edits(plan, model, planned->shared);
    int marks = 0;
    Outcome staged;
    for (const std::string& file : planned->files) {
        if (file == paths.function_file) {
            staged = change.stage(file, edits.function_file(marks));
            // The paper tool may have changed the function file since it was checked.
            if (staged.ok() && !edits.entries().empty() && marks == 0)
                staged = no_insertion_mark(file);
        } else if (file == paths.paper_info_file) {
            staged = change.stage(file, edits.paper_info(run.paper_info_dropped),
                                  edits.paper_info_lines());
        } else if (file == paths.settings_file) {
            staged = change.stage(file, edits.settings());
        } else {
            staged = change.stage(file, edits.imaging_area(), edits.imaging_area_lines());
        }
        if (!staged.ok()) return staged;
    }
    return change.commit(paths.inf_dir);
}

}  // namespace

Outcome plan_files(const Plan& plan, const FormatRequest& model, const DriverPaths& paths,
                   std::vector<std::string>& files, std::unordered_set<std::string>& shared) {
    const bool adding = adds(plan), taking_out = takes_out(plan);
    if (!adding && !taking_out) return {};
    files.push_back(paths.function_file);
    // A driver without a paper info file still loses a format's other lines.
    if (adding || exists(paths.paper_info_file)) files.push_back(paths.paper_info_file);
    if (taking_out) {
        if (const int error = find_shared_ids(paths.function_file, plan, shared))
            return file_error(error, paths.function_file);
        // Only a settings file that chose a format that goes is replaced: one of someone
        // else's in a sticky folder must not stop a change that leaves it as it is.
        const FormatEdits edits(plan, model, shared);
        bool chosen = false;
        if (const int error = changes(paths.settings_file, edits.settings(), chosen))
            return file_error(error, paths.settings_file);
        if (chosen) files.push_back(paths.settings_file);
    }
    files.push_back(paths.imaging_area_file);
    return {};
}

Outcome plan_growth(const Plan& plan, const FormatRequest& model, const DriverPaths& paths,
                    std::size_t& growth) {
    growth = 0;
    if (!adds(plan)) return {};
    int marks = plan.marks;
    if (marks == 0) return no_insertion_mark(paths.function_file);
    if (Outcome marked = marks > 0 ? Outcome() : find_insertion_mark(paths.function_file, marks);
        !marked.ok())
        return marked;
    // Each mark gets every entry; a settings line grows by a longer identifier at most.
    const std::unordered_set<std::string> none;
    const FormatEdits edits(plan, model, none);
    growth = std::max({static_cast<std::size_t>(marks) * edits.entries().size(),
                       edits.paper_info_lines().size(), edits.imaging_area_lines().size(),
                       std::size_t{64}});
    return {};
}

Outcome run_plan(const Plan& plan, const FormatRequest& model, const DriverPaths& paths,
                 const PlanContext& context, PlanRun& run) {
    for (std::size_t i = 0; i < plan.steps.size(); ++i) {
        const FormatStep& step = plan.steps[i];
        Outcome called = run_step(step_request(model, plan, step), step, paths, context.tool);
        if (called.ok()) continue;
        run.failed_step = i;
        // Done again for a killed run, the steps after it may have been done as well.
        bool undone = true;
        for (std::size_t j = plan.steps.size(); j-- > 0;) {
            if (j == i || (j > i && !context.again)) continue;
            undone = undo(step_request(model, plan, plan.steps[j]), plan.steps[j], paths,
                          context.tool) &&
                     undone;
        }
        if (!undone) called.aftermath = "undoing the formats before it failed too";
        if (undone && i > 0 && !called.aftermath)
            called.aftermath = "the formats before it are as they were";
        // Synced, so that a power cut cannot bring back a change that was refused.
        remove_operation_record(context.folder_fd, context.token);
        ::fsync(context.folder_fd);
        return called;
    }
    run.failed_step = plan.steps.size();
    Outcome committed = commit_plan(plan, model, paths, context, run);
    if (!committed.ok()) committed.aftermath = "the next change on this driver finishes it";
    return committed;
}
