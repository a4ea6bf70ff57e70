// The temporary file through which a driver file is rewritten. It lives beside the
// file it replaces, so that the final rename stays within one file system and is atomic.
//
// Calling sequence: create(), write() and end_line() as often as needed, finish(),
// then put_in_place(). The destructor removes the file unless put_in_place() moved it.
// Precondition: the caller holds the model's driver lock, so no other run is using
// the same temporary name.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>
#include <vector>

#include "store/unique_fd.h"

/// The temporary file's name for `target`: the same path with ".$$$" appended.
std::string temporary_path(const std::string& target);

class TempFile {
public:
    /// Names the temporary file for `target` (temporary_path).
    explicit TempFile(std::string target);
    /// Removes the file unless put_in_place() has moved it to the target.
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& target() const { return target_; }

    /// Removes a leftover of that name (file or link, never written through) and
    /// creates the file exclusively. Returns 0 or the errno of the failure.
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

private:
    int flush();
    int write_all(const char* bytes, std::size_t size);
    int settle(const struct stat& original);

    std::string target_;
    std::string path_;
    UniqueFd fd_;
    std::vector<char> buffer_;
    bool at_line_start_ = true;
    bool owned_ = false;     // the file at path_ is ours to remove
    int pending_slot_ = -1;  // where the interrupt cleanup knows this file, if it does
};
