// Carrying out a plan once it is recorded: the paper tool steps, undone on a refusal,
// then the files. Shared by a run's own plan and the next run's carrying out of a plan a
// killed run recorded.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

#include "durable/operation_record.h"
#include "store/paper_tool.h"
#include "store/plan.h"

/// The files `plan` changes on `model`'s driver, in the order they are staged, and the
/// identifiers it takes out that other entries keep (find_shared_ids). RESULT_FILE_ERROR
/// when a file cannot be read.
Outcome plan_files(const Plan& plan, const FormatRequest& model, const DriverPaths& paths,
                   std::vector<std::string>& files, std::unordered_set<std::string>& shared);

/// How much any file may grow by `plan` on `model`'s driver. RESULT_FILE_ERROR when it
/// adds and the function file cannot be read or has no insertion mark.
Outcome plan_growth(const Plan& plan, const FormatRequest& model, const DriverPaths& paths,
                    std::size_t& growth);

/// What plan_files found, before the paper tool ran.
struct PlannedFiles {
    std::vector<std::string> files;
    std::unordered_set<std::string> shared;
};

struct PlanContext {
    int folder_fd;      // the driver folder, locked exclusively
    std::string token;  // of the operation record
    ToolStart tool;     // how each paper tool call starts
    bool again;         // carried out again for a killed run, which may have committed
    const std::vector<FileEdit>* edits;  // staged instead of the steps' own, if any
    FileChange* change;                  // prepared ahead, if any
    const PlannedFiles* planned;         // found ahead, if any; else found anew
};

/// Runs the paper tool steps of the recorded `plan`, then stages and commits its files,
/// which ends the record. A step the paper tool refuses undoes the steps before it and
/// ends the record with no file changed (RESULT_COMMAND_FAILED, `run.failed_step`). A
/// file failure keeps the record, for the next change to carry the plan out again.
Outcome run_plan(const Plan& plan, const FormatRequest& model, const DriverPaths& paths,
                 const PlanContext& context, PlanRun& run);
