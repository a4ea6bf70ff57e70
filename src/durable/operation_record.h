// An operation that acts outside the folder's files as well (it runs a program whose
// own state must end up agreeing with the files) is recorded durably before it first
// acts, so that when a kill cuts it short the next run can do it again from the start.
// It ends with the commit of its files, which removes the record (rewrite.h), or, where
// no file changes, with the record's removal alone.
//
//   "<folder>/zkpapertoollpr.<token>.operation"  "zkpapertoollpr operation\n", the
//                                                caller's text, then "end\n"
//   "<folder>/zkpapertoollpr.<token>.child"      the boot id and the process id of the
//                                                program the operation runs, written by
//                                                that child itself before it starts
//
// Contract: once write_operation_record returns RESULT_OK the record survives a kill or
// a power cut; a kill while it is written leaves one recorded_operations takes for
// incomplete. A child's note is written before the child runs a single instruction of
// the program, so a run killed at any instant leaves the program it started known for
// as long as it runs. Records are honoured under the same rules as commit records.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "durable/outcome.h"

/// Writes the record of `token` holding `text` (whole lines) and syncs it and the folder.
/// RESULT_FILE_ERROR with the errno of the failed call; no record is left then.
Outcome write_operation_record(int folder_fd, const std::string& folder, const std::string& token,
                               std::string_view text);

/// Removes the record of `token` and its child's note, without a sync: a record that
/// comes back after a power cut is only done again.
void remove_operation_record(int folder_fd, const std::string& token);

struct RecordedOperation {
    std::string token;
    std::string text;  // the caller's lines
    uid_t owner;       // who recorded it
};

/// The whole records in the folder whose owner could have replaced every one of `names`,
/// oldest first by name. With `tidy` (under the exclusive lock), removes the others: a
/// record cut short was never acted on.
std::vector<RecordedOperation> recorded_operations(int folder_fd,
                                                   const std::vector<std::string>& names,
                                                   bool tidy);

/// The note through which a child started for the operation of `token` tells a later run
/// its process id. Owns the descriptor the child writes through.
class ChildNote {
public:
    ChildNote() = default;
    ~ChildNote();
    ChildNote(const ChildNote&) = delete;
    ChildNote& operator=(const ChildNote&) = delete;

    /// Creates the note with this boot's id. Returns 0 or the errno.
    int create(int folder_fd, const std::string& token);

    /// For the child, between fork and exec: writes its own process id into the note.
    /// Only async-signal-safe calls. Does nothing without a note.
    void write_own_pid() const;

private:
    int fd_ = -1;
    off_t pid_at_ = 0;
};

/// The process id of the child a killed run's `operation` started when it still runs
/// `program` on this boot as the operation's owner, by a note of the owner's; else 0.
pid_t left_child(int folder_fd, const RecordedOperation& operation, const std::string& program);
