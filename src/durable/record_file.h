// The small files through which a run tells the next one what it was doing: written
// whole and synced before they count, trusted only when nobody else could have made
// them, found by random names nobody can plant in advance.
//
// Contract: a record file is durable once write_record_file returns RESULT_OK, and a
// kill at any instant leaves either no file of that name or one that read_record_file
// takes for incomplete (its writer ends it with a line of its own, checked by the
// caller). read_record_file never follows a link and never blocks.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "durable/outcome.h"

/// Whether `text` is a change token: 16 lower-case hexadecimal digits.
bool is_token(std::string_view text);

/// The token of a record "zkpapertoollpr.<token><suffix>"; empty for any other name.
std::string_view record_token(std::string_view name, std::string_view suffix);

/// "zkpapertoollpr.<token><suffix>".
std::string record_name(std::string_view token, std::string_view suffix);

/// Creates the file `name` in the folder open at `folder_fd` (`folder`: its path, for
/// messages), never over anything, mode 0644, writes `text` and syncs it. RESULT_OK, or
/// RESULT_FILE_ERROR with the errno of the failed call; the file is gone then.
Outcome write_record_file(int folder_fd, const std::string& folder, const std::string& name,
                          std::string_view text);

/// Creates the record file `name` empty (never over anything, mode 0644), so that it
/// can be filled later (fill_record_file) without a folder sync of its own when one
/// comes in between. Returns the descriptor, or -1 with errno set.
int create_record_file(int folder_fd, const std::string& name);

/// Writes `text` through `fd` and syncs it. Returns 0 or the errno of the failed call.
int fill_record_file(int fd, std::string_view text);

/// Reads the record file `name` into `text` and its owner into `owner` when it may be
/// trusted: a regular file of one link, writable by nobody but its owner (another link
/// or a writable mode would let someone speak for its owner), at most `most` bytes.
bool read_record_file(int folder_fd, const std::string& name, std::size_t most, std::string& text,
                      uid_t& owner);

/// Whether `owner`, who could create a record in `folder`, could have replaced `target`
/// itself: a record of anyone else's must not make us do what they may not. Only a
/// sticky folder stops one who may write the folder from renaming over a file.
bool may_have_replaced(uid_t owner, const struct stat& target, const struct stat& folder);

/// Whether `owner` could have replaced every one of `names` that exists in the folder.
bool may_have_replaced_all(int folder_fd, uid_t owner, const std::vector<std::string>& names);

/// Calls `take` with the name of every entry of the folder open at `folder_fd`.
/// Returns 0 or the errno of a folder that cannot be read.
int for_each_folder_entry(int folder_fd, const std::function<void(std::string_view)>& take);
