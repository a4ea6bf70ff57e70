// The driver format store: where a model's driver files and paper tool live, and
// the two operations that keep the driver's list of custom label formats.
//
// Calling sequence for one run:
//   DriverPaths paths = driver_paths(root, request.model_dir);
//   DriverLock lock;  lock.take(paths)            -- before any driver file is read
//   delete_label_format(request, paths)           -- always, also before an add
//   add_label_format(request, paths, now)         -- for an add
// Nothing here prints; the caller turns each Outcome into a message.
#pragma once

#include <sys/time.h>

#include <string>

#include "cli/request.h"
#include "store/unique_fd.h"

/// A result code and, with RESULT_FILE_ERROR, the errno of the call that failed.
struct Outcome {
    Result result = RESULT_OK;
    int error = 0;

    bool ok() const { return result == RESULT_OK; }
};

inline Outcome file_error(int error) { return {RESULT_FILE_ERROR, error}; }

struct DriverPaths {
    std::string inf_dir;  // never replaced, so it is what the lock is taken on
    std::string paper_tool;
    std::string function_file;
    std::string paper_info_file;
    std::string settings_file;
    std::string imaging_area_file;
};

/// The paths of one model's driver below `root` (the installed tool uses /opt/zentrik).
DriverPaths driver_paths(const std::string& root, const std::string& model_dir);

/// Serialises runs on one model: an exclusive flock on the driver's inf folder, held
/// until the object dies. The descriptor is close-on-exec, so the paper tool cannot
/// keep the lock alive after we exit.
class DriverLock {
public:
    /// Blocks until the lock is ours. RESULT_FILE_ERROR when the folder cannot be opened.
    Outcome take(const DriverPaths& paths);

private:
    UniqueFd folder_;
};

/// Asks the paper tool to delete the format, then removes the format from the function,
/// paper info and imaging area files and resets settings lines that named it.
/// RESULT_COMMAND_FAILED: the tool failed, no file was touched. RESULT_NOT_FOUND: the
/// name is not in the function file, or (after that file was rewritten) not in the
/// paper info file. RESULT_FILE_ERROR: a rewrite failed; files rewritten before it stay.
Outcome delete_label_format(const FormatRequest& request, const DriverPaths& paths);

/// Registers the format with the paper tool under an identifier built from `now`, then
/// writes it into the function, paper info and imaging area files.
/// RESULT_COMMAND_FAILED: the tool failed, no file was touched. RESULT_FILE_ERROR: a
/// rewrite failed; files rewritten before it stay, so does the tool's registration.
Outcome add_label_format(const FormatRequest& request, const DriverPaths& paths,
                         const timeval& now);

/// Makes SIGINT, SIGTERM and SIGHUP remove a rewrite's temporary file before the
/// process dies of them. Call once, before the first operation.
void install_interrupt_cleanup();
