// The temporary file through which a driver file is rewritten. It lives beside the
// file it replaces, so that the final rename stays within one file system and is atomic.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>
#include <vector>

#include "store/unique_fd.h"

class TempFile {
public:
    /// Names the temporary file for `target`: the same path with ".$$$" appended.
    explicit TempFile(std::string target);
    /// Removes the file unless commit() has put it in the target's place.
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& path() const { return path_; }

    /// Removes a leftover of that name (file or link, never written through) and
    /// creates the file exclusively. Returns 0 or the errno of the failure.
    int create();

    /// Buffers `bytes` for the file. Returns 0 or the errno of a failed write.
    int write(std::string_view bytes);

    /// Writes a newline unless the file is empty or already ends in one, so that
    /// what follows starts a line of its own. Returns 0 or an errno.
    int end_line();

    /// Writes out the buffer, gives the file `original`'s owner and group and mode
    /// 0666, syncs and closes it, renames it over the target and syncs the folder.
    /// Returns 0 or the errno of the call that failed; up to the rename the target
    /// is untouched, and after a failure the temporary file is gone.
    int commit(const struct stat& original);

private:
    int flush();
    int settle(const struct stat& original);

    std::string target_;
    std::string path_;
    UniqueFd fd_;
    std::vector<char> buffer_;
    bool at_line_start_ = true;
    bool owned_ = false;  // the file at path_ is ours to remove
};
