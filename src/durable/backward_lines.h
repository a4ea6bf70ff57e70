// Reading a file's lines from its end to its start, through bounded buffers.
//
// Contract: reads only, through the file-call seam; never more than a fixed amount of
// memory, whatever the lines' lengths. A read that fails or finds the file shorter than
// it was is reported, never taken for the file's start.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string_view>

class BackwardLines {
public:
    /// Reads the `size` bytes at the start of the open file `fd` (which it does not own).
    BackwardLines(int fd, off_t size) : fd_(fd), cursor_(size) {}

    /// Hands out the line before the one handed out last (first: the file's last line):
    /// its first piece, the bytes up to and including its newline but no more than
    /// kLinePieceBytes, as InputFile's marked stretches hold it. The view is valid
    /// until the next call. Returns 1, 0 at the file's start, -1 when a read failed
    /// (error() says why).
    int previous(std::string_view& piece);

    int error() const { return error_; }

    /// Where the line handed out last starts; rewind() makes it so again.
    off_t position() const { return cursor_; }
    void rewind(off_t position) { cursor_ = buffer_start_ = position; }

private:
    bool read_at(off_t at, char* into, std::size_t size);
    bool find_line_start(off_t& start);

    static constexpr std::size_t kBlockBytes = 64 * 1024;
    // A line longer than this is searched through for its start, not kept.
    static constexpr std::size_t kKeptBytes = 64 * 1024;

    int fd_;
    off_t cursor_;  // where the line handed out last starts
    // The bytes from buffer_start_ up to the cursor, at the start of buffer_.
    std::unique_ptr<char[]> buffer_{new char[kKeptBytes + kBlockBytes]};
    off_t buffer_start_ = cursor_;
    int error_ = 0;
};
