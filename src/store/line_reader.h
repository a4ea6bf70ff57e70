// Reading a driver file line by line without ever holding more than a bounded piece
// of it, so that files and lines of any size stream through.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "store/unique_fd.h"

/// The most of one line that is held at a time; a longer line comes in pieces.
constexpr std::size_t kLinePieceBytes = 64 * 1024;

class InputFile {
public:
    /// Opens `path` for reading. Never follows a symbolic link (ELOOP), refuses anything
    /// but a regular file (EISDIR, EINVAL) and never blocks on a FIFO.
    /// Returns 0 or the errno of the failure.
    int open(const std::string& path);

    const struct stat& status() const { return status_; }

    /// The errno of the read that failed, after read_line returned -1.
    int error() const { return error_; }

private:
    friend long read_line(InputFile& in, std::string_view& piece);
    long fill();

    UniqueFd fd_;
    struct stat status_ {};
    std::vector<char> buffer_ = std::vector<char>(kLinePieceBytes);
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    int error_ = 0;
    std::string carry_;  // a piece that straddles two reads
};

/// Points `piece` at the next piece of a line: the bytes up to and including the next
/// newline, or kLinePieceBytes of them when the line is longer. Zero bytes are kept.
/// The view is valid until the next call. Returns the number of bytes in it, 0 at end
/// of file, -1 when a read failed.
long read_line(InputFile& in, std::string_view& piece);

/// A line up to its first zero byte: all that matching ever looks at, as C text.
inline std::string_view up_to_first_zero(std::string_view line) {
    return line.substr(0, line.find('\0'));
}
