// The one way files are changed: each is copied through a filter into a temporary
// file beside it (staged), and only when every file of a change is staged do the
// temporary files take the files' places (commit), behind a commit record that lets the
// next run finish a commit cut short (see commit_record.h).
//
//   FileChange change(token);             -- the operation's token (operation_record.h)
//   change.prepare(folder_fd, paths)      -- optional: the temporary files and the commit
//   change.names_durable()                   record created ahead, and a folder sync after
//   change.stage(path, filter, trailer)   -- any number of files of one folder
//   change.commit(folder)                 -- record, folder sync, renames, folder sync
//   ~FileChange                           -- removes whatever was staged and not committed
//
// Contract: until commit() writes its record, no file has changed, and a failure or a
// kill leaves at most temporary files that the next recovery removes. When commit()
// returns RESULT_OK every file is new and durable. A kill at any instant after the
// record is written leaves a change the next recovery finishes. Precondition: the
// caller holds an exclusive lock on the folder, under which it ran the recovery.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "durable/line_reader.h"
#include "durable/outcome.h"
#include "durable/temp_file.h"

struct LineDecision {
    enum Action { kCopy, kDrop, kReplace, kCopyThenAdd };
    Action action = kCopy;
    std::string_view text;  // kReplace: written instead; kCopyThenAdd: a line after it
};

/// Decides what becomes of the lines that hold one of `needles`; every other line is
/// copied. `decide` sees a line's first piece (see next_stretch) up to its first zero
/// byte, and must answer kCopy for a line that holds no needle there.
struct LineFilter {
    Needles needles;
    std::function<LineDecision(std::string_view line)> decide;
};

/// The filter of a rewrite that only appends.
inline const LineFilter kCopyAll{{}, [](std::string_view) { return LineDecision{}; }};

class FileChange {
public:
    /// A change whose files and records carry `token` (new_change_token()); it ends the
    /// operation recorded under the same token, if there is one.
    explicit FileChange(std::string token);
    ~FileChange();
    FileChange(const FileChange&) = delete;
    FileChange& operator=(const FileChange&) = delete;

    /// Creates, empty, the temporary files of `paths` (in the folder open at `folder_fd`,
    /// `folder` its path) and the commit record, so that a folder sync the caller makes
    /// before staging (names_durable) makes their names durable and the commit needs no
    /// sync of the folder before its renames. RESULT_FILE_ERROR with the errno and path
    /// of the failed creation; what was created goes when the change does.
    Outcome prepare(int folder_fd, const std::string& folder,
                    const std::vector<std::string>& paths);

    /// Says that the folder was synced after prepare().
    void names_durable() { names_durable_ = true; }

    /// Rewrites the regular file `path` into its temporary file: every line as
    /// `filter` decides, then `trailer`, if any. An added line or trailer always starts
    /// a line of its own; lines pass through byte for byte. The temporary file is
    /// written, synced and given the file's owner, group and mode 0666.
    /// RESULT_OK, or RESULT_FILE_ERROR with the errno of the call that failed and the
    /// file it concerned; no driver file has changed then. A file the filter leaves as it
    /// was (every line copied, no trailer) is not staged: it stays as it is, unsynced.
    /// Whether the commit may rename over the file is the caller's to check first
    /// (check_changeable).
    Outcome stage(const std::string& path, const LineFilter& filter, std::string_view trailer = {});

    /// Writes and syncs the commit record and syncs the `folder` the files are in (but
    /// where every staged file and the record were prepared and their names made
    /// durable), puts every staged file in place in staging order, syncs the folder again
    /// and removes the operation record and the commit record, with the interrupts held
    /// back from the commit record on (InterruptsHeld). With nothing staged, only removes
    /// the operation record. RESULT_OK, or
    /// RESULT_FILE_ERROR with the errno of the call that failed and what it concerned:
    /// - up to the first rename: no file has changed and nothing is left;
    /// - a later rename: the files before it are new, the rest are left staged behind
    ///   the record, and the next run that takes the lock finishes the change;
    /// - the last folder sync: every file is new and whole; the record stays until a
    ///   later run, so that the change survives a power cut all the same.
    Outcome commit(const std::string& folder);

private:
    TempFile& temporary_file(const std::string& path, bool& prepared);

    std::string token_;
    std::deque<TempFile> files_;     // every temporary file, prepared or not
    std::vector<TempFile*> staged_;  // in staging order
    std::vector<TempFile*> unused_;  // prepared, not yet staged
    bool all_prepared_ = true;
    bool names_durable_ = false;
    UniqueFd record_;          // the prepared commit record
    std::string record_path_;  // removed with the change unless committed
};

/// Stages and commits one file: what a rewrite of a single file is.
Outcome rewrite_file(const std::string& path, const LineFilter& filter,
                     std::string_view trailer = {});
