// One shape for every change of a driver's formats: a plan of paper tool steps, made
// durable in an operation record before the first of them, carried out in order, then
// the four files committed at once, which ends the record. An add, a replace and a
// delete are plans of one step; an apply is a plan of many. A run killed anywhere
// between the record and the commit leaves the plan for the next change to carry out
// again from its start (finish_recorded_operations), with the same identifiers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "durable/outcome.h"
#include "durable/rewrite.h"
#include "label/request.h"
#include "store/driver_paths.h"

struct FormatStep {
    enum Kind {
        kAdd,       // -d, then -n: a new format, or one that replaces `old_id`
        kDelete,    // -d: the format the function file lists as `id` ("" when none)
        kRegister,  // -d, then -n: the format `id` the files hold, registered again
    };
    Kind kind = kAdd;
    std::string name;
    std::int64_t width = 0, height = 0;  // kAdd, kRegister: the sizes registered
    std::string media;                   // the tape media the identifier carries, or ""
    std::int64_t print_dots = 0;
    std::string id;
    std::string old_id;                          // kAdd: the format it replaces, or ""
    std::int64_t old_width = 0, old_height = 0;  // of the replaced or deleted format
};

struct Plan {
    std::string printer;
    std::vector<FormatStep> steps;
    /// The function file's insertion marks, where a look-up for the plan counted them;
    /// -1 where none did. Not recorded.
    int marks = -1;
};

/// The plan as the operation record's lines; read_plan takes them back (false for text
/// that is no plan).
std::string plan_text(const Plan& plan);
bool read_plan(std::string_view text, Plan& plan);

/// The request a step makes of the paper tool and the files, on `model`'s driver.
FormatRequest step_request(const FormatRequest& model, const Plan& plan, const FormatStep& step);

/// What carrying out a plan met.
struct PlanRun {
    /// The step whose paper tool call failed, or steps.size().
    std::size_t failed_step = 0;
    /// Paper info lines the deletes took out.
    int paper_info_dropped = 0;
};

/// Line edits a change makes besides its steps' own (a repair's): one filter a file.
struct FileEdit {
    std::string path;
    LineFilter filter;
};

/// Carries out `plan` on `model`'s driver, under the exclusive lock: checks that the files
/// could be changed, records the plan, runs each step's paper tool calls in order, then
/// stages every file the steps change and commits them at once. A plan with `edits`
/// has only kRegister steps; the edits are staged (in the order given) and committed in
/// their place. They are not recorded: a run killed before the commit leaves the files
/// as they were, and the next change registers the formats again.
/// RESULT_COMMAND_FAILED: a step's call failed (`run.failed_step`); the steps before it
/// and its own first call are undone (`aftermath` says how that went) and no file changed.
/// RESULT_FILE_ERROR: before the record, nothing was done; after it (`aftermath` set),
/// no file changed and the next change on the driver carries the plan out again.
Outcome carry_out(const Plan& plan, const FormatRequest& model, const DriverPaths& paths,
                  PlanRun& run, const std::vector<FileEdit>& edits = {});
