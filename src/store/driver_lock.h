// One run at a time changes a model's driver files, and the one that does first
// finishes or clears what a killed run left.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

#include "durable/outcome.h"
#include "durable/unique_fd.h"
#include "store/driver_paths.h"

/// An flock on the model's inf folder (never replaced, unlike the files in it), held
/// until the object dies. The descriptor is close-on-exec, so the paper tool cannot
/// keep the lock alive after we exit.
class DriverLock {
public:
    /// kInspect: shared, and what a killed run left stays as it is, for a check that
    /// reports it and changes nothing. kRepair: exclusive, and what a killed run left
    /// stays until tidy(), for a repair that says what it finished.
    enum Mode { kExclusive, kShared, kInspect, kRepair };

    /// What a taker is told while it waits or where it cannot tidy up; nothing prints here.
    struct Events {
        /// How long to wait for the lock before giving up (about a minute: far longer than
        /// any change takes, short enough that nothing hangs for good).
        int wait_seconds = 60;
        /// Once, when another process has held the lock for about a second; `holder` is
        /// its process id and `name` its command where the system tells (/proc/locks),
        /// else 0 and "". The wait goes on.
        std::function<void(pid_t holder, const std::string& name)> waiting;
        /// A shared taker found a change a killed run left and could not finish it (no
        /// right to, a read-only mount); it goes on with the files as they are.
        std::function<void(const Outcome& why)> unfinished;
    };

    /// Waits until the lock is ours, or gives up after `events.wait_seconds`
    /// (RESULT_FILE_ERROR with `why` and the holder's process id in `holder`). An
    /// exclusive taker then finishes or rolls back every change a killed run recorded and
    /// removes every leftover (commit_record.h): with the lock held no other run can be
    /// between staging and committing. A shared taker that finds such a change or
    /// leftover takes the lock exclusively to do the same, and where it cannot, goes on
    /// under the shared lock (`unfinished`).
    /// RESULT_FILE_ERROR when the folder cannot be opened or locked, or (exclusive) a
    /// recorded change cannot be finished.
    Outcome take(const DriverPaths& paths, Mode mode, const Events& events);
    Outcome take(const DriverPaths& paths, Mode mode);

    /// Under kRepair: what an exclusive take does once the lock is held.
    Outcome tidy(const DriverPaths& paths);

private:
    UniqueFd folder_;
};

/// The command name of process `pid`, or "" when the system does not tell.
std::string process_name(pid_t pid);
