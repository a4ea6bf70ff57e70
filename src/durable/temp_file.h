// The temporary file through which a file is rewritten. It lives beside the file it
// replaces, so that the final rename stays within one file system and is atomic.
//
// Calling sequence: create(), write() and end_line() as often as needed, finish(),
// then put_in_place(). The destructor removes the file unless put_in_place() moved it
// or keep() handed it to a commit record.
//
// Contract: after finish() the file's bytes, owner, group and mode are durable; the
// target is untouched until put_in_place(), whose rename replaces it whole. A kill
// before that leaves the target as it was and at most this file, which a signal's
// cleanup or the next recovery removes.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>
#include <vector>

#include "durable/unique_fd.h"

class TempFile {
public:
    /// Names the temporary file for `target` in the change of `token` (staged_path).
    TempFile(std::string target, const std::string& token);
    /// Removes the file unless put_in_place() has moved it to the target.
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& target() const { return target_; }

    const std::string& path() const { return path_; }
    /// The file's inode, once finish() has succeeded.
    ino_t inode() const { return inode_; }

    /// Creates the file exclusively, never through a link. Returns 0 or the errno.
    int create();

    /// Buffers `bytes` for the file. Returns 0 or the errno of a failed write.
    int write(std::string_view bytes);

    /// Writes a newline unless the file is empty or already ends in one, so that
    /// what follows starts a line of its own. Returns 0 or an errno.
    int end_line();

    /// Writes out the buffer, gives the file `original`'s owner and group (as far as
    /// this process may: see settle) and mode 0666, syncs and closes it.
    /// Returns 0 or the errno of the call that failed.
    int finish(const struct stat& original);

    /// Renames the finished file over its target. Returns 0 or the errno of rename;
    /// then the target is untouched.
    int put_in_place();

    /// Leaves the file on disk when the object dies, for whoever finishes the change.
    void keep();

    /// Removes the file now, as the destructor would.
    void discard();

private:
    int flush();
    int write_all(const char* bytes, std::size_t size);
    int settle(const struct stat& original);

    std::string target_;
    std::string path_;
    UniqueFd fd_;
    std::vector<char> buffer_;
    bool at_line_start_ = true;
    ino_t inode_ = 0;
    bool owned_ = false;     // the file at path_ is ours to remove
    int pending_slot_ = -1;  // where the interrupt cleanup knows this file, if it does
};
