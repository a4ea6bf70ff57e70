// The driver format store: where a model's driver files and paper tool live, and the
// operations on the driver's list of custom label formats.
//
// Calling sequence for one run:
//   install_interrupt_cleanup()                   -- once, before any operation
//   DriverPaths paths = driver_paths(root, request.model_dir);
//   DriverLock lock;  lock.take(paths, mode)      -- before any driver file is read:
//                                                    exclusive to change, shared to list
//   finish_recorded_operations(request, paths)    -- before a change: what killed runs left
//   delete_label_format(request, paths)           -- to delete
//   add_label_format(request, paths, now)         -- to add or replace
//   list_label_formats(request, paths, take)      -- to list
// Nothing here prints; the caller turns each Outcome into a message. Each operation is a
// plan (plan.h): it checks what its file step would refuse before it runs the paper tool,
// records itself, and then changes all of its files or none (FileChange); a run killed
// after the record leaves it for the next change to carry out again.
#pragma once

#include <sys/time.h>

#include <cstdint>
#include <functional>
#include <string>

#include "durable/interrupts.h"  // install_interrupt_cleanup
#include "durable/outcome.h"
#include "label/request.h"
#include "store/driver_lock.h"
#include "store/driver_paths.h"
#include "store/plan.h"

/// Asks the paper tool to delete the format, then removes the lines of the identifier the
/// function file lists for the name from the function, paper info and imaging area files
/// and resets settings lines that named it, all at once.
/// RESULT_COMMAND_FAILED: the tool failed; no file was touched.
/// RESULT_NOT_FOUND: the function file does not list the name (nothing changed), or the
/// paper info file has no line of its identifier (the other files lost theirs).
/// RESULT_FILE_ERROR: a file could not be read or rewritten; nothing changed, and where
/// the paper tool had run, `aftermath` says so.
Outcome delete_label_format(const FormatRequest& request, const DriverPaths& paths);

/// The step that deletes the request's format: the identifier the function file lists
/// for it and its sizes. RESULT_NOT_FOUND when it lists none (the step still asks the
/// paper tool), RESULT_FILE_ERROR when the file cannot be read.
Outcome plan_delete(const FormatRequest& request, const DriverPaths& paths, FormatStep& step);

/// The step that adds the request's format under a fresh identifier built from `now`,
/// replacing the format of that name the function file lists; counts its insertion marks
/// into `marks`, if given, in the same read.
Outcome plan_add(const FormatRequest& request, const DriverPaths& paths, const timeval& now,
                 FormatStep& step, int* marks = nullptr);

/// Registers the format with the paper tool (after its preliminary -d) under a fresh
/// identifier built from `now`, then writes it into the function, paper info and imaging
/// area files, all at once; a format of that name the function file lists leaves the
/// files in the same change (a replace). RESULT_COMMAND_FAILED: the tool failed; no file
/// was touched, and a replaced format is registered again (`aftermath` says whether
/// that worked). RESULT_FILE_ERROR: a file could not be read, has no insertion mark
/// (`why`), or could not be rewritten; no file changed, and where the paper tool had
/// run, `aftermath` says so.
Outcome add_label_format(const FormatRequest& request, const DriverPaths& paths,
                         const timeval& now);

/// One custom format as the driver holds it.
struct ListedFormat {
    std::string name;
    std::int64_t width = 0;   // millimetres, after tape sizing
    std::int64_t length = 0;  // millimetres, after clamping
    std::string tape;         // the tape media it was sized for, e.g. "zkS12mm"; empty for
                              // roll labels or where no tape fits what the driver holds
    std::string id;           // its identifier
};

using ListTake = std::function<void(const ListedFormat&)>;

/// Calls `take` with each format of the function file that a delete recognises, in its
/// order, as it goes. Sizes come from the identifier, or from the paper info file where
/// the identifier keeps too few bits. Memory stays within a few MiB however many formats
/// there are. RESULT_FILE_ERROR when the function file is missing, unreadable or not a
/// regular file, or the paper info file is not a regular file or fails to read: before
/// any format is taken, but for a read that fails part way.
Outcome list_label_formats(const FormatRequest& request, const DriverPaths& paths,
                           const ListTake& take);

/// What finishing the operations killed runs left meets, for the caller to tell.
struct RecoveryEvents {
    /// How long a paper tool a killed run left may keep the run waiting.
    int wait_seconds = 60;
    /// Once, when such a tool has run on for about a second; the wait goes on.
    std::function<void(pid_t tool, const std::string& name)> waiting;
    /// Each recorded plan carried out again, or refused by the paper tool (`outcome`).
    std::function<void(const Plan&, const PlanRun&, const Outcome& outcome)> finished;
    /// A plan another user recorded, which only they or root may carry out.
    std::function<void(const Plan&, uid_t owner)> left_to_owner;
};

/// Under the exclusive lock, before a change of its own: carries out again, from the
/// start, every plan a killed run recorded (after waiting for a paper tool it left), so
/// that the paper tool and the files end as if it had not been killed. A plan the paper
/// tool now refuses ends as a refused run ends. The paper tool runs as the user who
/// recorded the plan; a plan of another user's waits for them unless this run is root's.
/// RESULT_FILE_ERROR when a plan's files could not be changed (its record stays) or the wait gave
/// up (`holder`).
Outcome finish_recorded_operations(const FormatRequest& model, const DriverPaths& paths,
                                   const RecoveryEvents& events);

/// The plans killed runs recorded that wait for the next change; reads only.
std::vector<Plan> waiting_operations(const DriverPaths& paths);
