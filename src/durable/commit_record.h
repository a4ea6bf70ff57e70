// The commit point of a change to files of one folder: a small record in the folder,
// written and synced once every staged file is durable and before the first of them is
// renamed into place. A run killed between two renames leaves it behind, and the next
// run finishes the change from it, so the files are all as before or all as after.
//
// A change's files share one random token: the staged file for "<folder>/<file>" is
// "<folder>/<file>.zk-<token>" and the record "<folder>/zkpapertoollpr.<token>.commit",
// which holds one line "<file> <inode of its staged file>" per file, between a header
// line and "end". Random names cannot be planted before a run creates them.
//
// Contract: a record is durable when write_commit_record returns RESULT_OK; a kill at
// any instant leaves either no record (nothing renamed) or a whole one. Recovery, under
// the caller's exclusive lock, honours only whole records that name the caller's files
// and whose owner could have replaced them; it finishes a change, rolls back one whose
// commit point never became durable, or keeps and reports one it cannot tell apart from
// a half-done change; it never follows a link and never blocks on what it may not remove.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "durable/outcome.h"

/// A fresh token: 16 hexadecimal digits from the system's random source.
std::string new_change_token();

/// The staged file's path for `target` in the change of `token`.
std::string staged_path(const std::string& target, const std::string& token);

/// One file a change replaces: its name in the folder and its staged file's inode.
struct RecordedFile {
    std::string name;
    ino_t staged_inode = 0;
};

/// "zkpapertoollpr.<token>.commit".
std::string commit_record_name(const std::string& token);

/// Creates the record of `token` empty, ahead of the folder sync that makes the staged
/// files' names durable, so that writing it needs no folder sync of its own (an empty
/// record is no commit point). Returns the descriptor, or -1 with errno set.
int create_commit_record(int folder_fd, const std::string& token);

/// Writes and syncs the record of `token` in the folder open at `folder_fd` (`folder`:
/// its path, for messages), through `created` when create_commit_record made it.
/// RESULT_FILE_ERROR with the errno of the failed call; no record is left then.
Outcome write_commit_record(int folder_fd, const std::string& folder, const std::string& token,
                            const std::vector<RecordedFile>& files, int created = -1);

/// Removes the record of `token`; what it may not remove, the next run does.
void remove_commit_record(int folder_fd, const std::string& token);

/// Under the exclusive driver lock: finishes every change a killed run recorded (each
/// staged file that still exists is renamed over its file, the folder synced, the record
/// removed), or rolls it back where a staged file never became durable, then removes
/// every leftover: staged files of unrecorded changes, incomplete records and the
/// ".$$$" files of earlier versions. `folder` is the folder's path (for messages) and
/// `names` the files a change may replace in it: a record is honoured only when it
/// names only those and its owner could have written them. What may not be
/// removed is left and never blocks the run. RESULT_FILE_ERROR when a recorded change
/// could not be finished (its files may be mixed until a run that may finish it).
Outcome finish_interrupted_changes(int folder_fd, const std::string& folder,
                                   const std::vector<std::string>& names);

/// Whether the folder holds what a killed run left (a commit record or a staged file):
/// whether a reader must take the exclusive lock to finish or remove it first.
bool has_interrupted_change(int folder_fd, const std::vector<std::string>& names);

/// For a reader that may not finish a change a killed run left: the name in the folder
/// that holds each of `names` as committed. Where a whole record of a change that can be
/// finished stands, a file not yet renamed is read from its staged file; any other file
/// from its own name.
std::vector<std::string> committed_names(int folder_fd, const std::vector<std::string>& names);

/// What a killed run may have left in a folder.
enum class Leftover {
    kCommitRecord,     // "zkpapertoollpr.<token>.commit": a change the next run finishes
    kOperationRecord,  // "zkpapertoollpr.<token>.operation": an operation the next change does
    kStagedFile,       // "<file>.zk-<token>" or an earlier version's "<file>.$$$", of `names`
};

/// Calls `take(name, kind)` with the name of each entry of the folder open at
/// `folder_fd` that a killed run left, by its name alone (nothing is opened, read or
/// changed), in the folder's order. Returns 0 or the errno of a folder that cannot be read.
int for_each_leftover(int folder_fd, const std::vector<std::string>& names,
                      const std::function<void(std::string_view name, Leftover kind)>& take);
