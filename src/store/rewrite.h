// The one way driver files are changed: each is copied through a filter into a
// temporary file beside it (staged), and only when every file of an operation is
// staged do the temporary files take the files' places (commit). Like a git ref
// transaction: prepare every lock file, then commit them all.
//
//   FileChange change;
//   change.stage(path, filter, trailer)   -- any number of files of one folder
//   change.commit()                       -- renames in staging order, one folder sync
//   ~FileChange                           -- removes whatever was staged and not committed
//
// Precondition: the caller holds the model's driver lock (see DriverLock).
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "store/outcome.h"
#include "store/temp_file.h"

struct LineDecision {
    enum Action { kCopy, kDrop, kReplace, kCopyThenAdd };
    Action action = kCopy;
    std::string_view text;  // kReplace: written instead; kCopyThenAdd: a line after it
};

/// Decides what becomes of the lines that hold `needle`; every other line is copied.
/// `decide` sees a line's first piece (see next_stretch) up to its first zero byte,
/// and must answer kCopy for a line that does not hold the needle there.
struct LineFilter {
    std::string_view needle;
    std::function<LineDecision(std::string_view line)> decide;
};

/// The filter of a rewrite that only appends.
inline const LineFilter kCopyAll{{}, [](std::string_view) { return LineDecision{}; }};

class FileChange {
public:
    FileChange() = default;
    FileChange(const FileChange&) = delete;
    FileChange& operator=(const FileChange&) = delete;

    /// Rewrites the regular file `path` into its temporary file: every line as
    /// `filter` decides, then `trailer`, if any. An added line or trailer always starts
    /// a line of its own; lines pass through byte for byte. The temporary file is
    /// written, synced and given the file's owner, group and mode 0666.
    /// RESULT_OK, or RESULT_FILE_ERROR with the errno of the call that failed, or EPERM
    /// or EBUSY when the commit could not rename over the file or remove its temporary
    /// file (a sticky folder the user may not replace others' files in, an immutable or
    /// append-only file or folder, a file mounted over); no driver file has changed then.
    Outcome stage(const std::string& path, const LineFilter& filter, std::string_view trailer = {});

    /// Puts every staged file in place, in staging order, then syncs the folder once,
    /// with the interrupts held back throughout (InterruptsHeld). RESULT_OK, or
    /// RESULT_FILE_ERROR with the errno of the call that failed:
    /// - the folder could not be opened: no file has changed;
    /// - a rename failed: the files staged before it are new, it and those after it
    ///   are unchanged, and no temporary file is left;
    /// - the folder sync failed: every file is new and whole; only its survival of a
    ///   power cut is in doubt.
    Outcome commit();

private:
    std::deque<TempFile> staged_;
};

/// Stages and commits one file: what a rewrite of a single file is.
Outcome rewrite_file(const std::string& path, const LineFilter& filter,
                     std::string_view trailer = {});
