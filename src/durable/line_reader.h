// Reading a file as whole stretches of lines, looking closely only at the lines that
// hold a given text. Files and lines of any size stream through bounded buffers.
//
// Contract: reads only, through the file-call seam; never follows a link, never opens
// anything but a regular file, never blocks on a FIFO; every byte is handed out once,
// in order; a failed read is reported, never taken for the end of the file.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "durable/unique_fd.h"

/// The most of one line that is looked at: a longer line is judged by its first
/// kLinePieceBytes, and the rest of it follows as it is.
constexpr std::size_t kLinePieceBytes = 64 * 1024;

/// What a reader looks for: a line whose first piece holds either text is marked. An
/// empty text is looked for nowhere.
struct Needles {
    Needles(std::string_view one = {}, std::string_view two = {}) : first(one), second(two) {}
    std::string_view first, second;
};

class InputFile {
public:
    /// Opens `path` for reading. Never follows a symbolic link (ELOOP), refuses anything
    /// but a regular file (EISDIR, EINVAL) and never blocks on a FIFO.
    /// Returns 0 or the errno of the failure.
    int open(const std::string& path);

    const struct stat& status() const { return status_; }
    int descriptor() const { return fd_.get(); }

    /// The errno of the read that failed, after next_stretch returned -1.
    int error() const { return error_; }

private:
    friend long next_stretch(InputFile& in, Needles needles, struct Stretch& out);
    long read_more();

    enum class Place { kLineStart, kInPlainLine, kInMarkedLine };

    UniqueFd fd_;
    struct stat status_ {};
    // Room for a whole piece after any part line kept; left uninitialised, so that only
    // the pages a read fills are ever touched.
    static constexpr std::size_t kBufferBytes = 4 * kLinePieceBytes;
    std::unique_ptr<char[]> buffer_{new char[kBufferBytes]};
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool at_end_ = false;
    Place place_ = Place::kLineStart;
    int error_ = 0;
};

/// A run of bytes of the file, in order.
struct Stretch {
    enum Kind {
        kPlain,       // whole lines, or parts of one, whose first piece lacks the needles
        kMarked,      // the first piece of a line (up to its newline, at most kLinePieceBytes)
                      // that holds a needle
        kMarkedRest,  // more of that line, up to and including its newline
    };
    Kind kind = kPlain;
    std::string_view bytes;
};

/// Hands out the next stretch of `in`, found by searching whole buffers for `needles`.
/// A needle must not hold a newline, and the needles must be the same on every call
/// for one file. The view is valid until the next call. Returns the number of bytes in
/// it, 0 at end of file, -1 when a read failed.
long next_stretch(InputFile& in, Needles needles, Stretch& out);
