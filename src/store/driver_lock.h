// One run at a time changes a model's driver files.
#pragma once

#include "store/driver_paths.h"
#include "store/outcome.h"
#include "store/unique_fd.h"

/// An flock on the model's inf folder (never replaced, unlike the files in it), held
/// until the object dies. The descriptor is close-on-exec, so the paper tool cannot
/// keep the lock alive after we exit.
class DriverLock {
public:
    enum Mode { kExclusive, kShared };

    /// Blocks until the lock is ours. An exclusive lock then removes the temporary
    /// files of the four driver files: with it held no other run can be between
    /// staging and committing them, so any found is a killed run's leftover.
    /// RESULT_FILE_ERROR when the folder cannot be opened or locked.
    Outcome take(const DriverPaths& paths, Mode mode = kExclusive);

private:
    UniqueFd folder_;
};
