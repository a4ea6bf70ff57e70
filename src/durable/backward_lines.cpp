#include "durable/backward_lines.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "durable/file_call_seam.h"
#include "durable/line_reader.h"

bool BackwardLines::read_at(off_t at, char* into, std::size_t size) {
    if (::lseek(fd_, at, SEEK_SET) < 0) {
        error_ = errno;
        return false;
    }
    while (size > 0) {
        const ssize_t got = file_calls().read(fd_, into, size);
        if (got < 0 && errno == EINTR) continue;
        // The file must not shrink under the lock; if it does, what was read is stale.
        if (got <= 0) {
            error_ = got < 0 ? errno : EIO;
            return false;
        }
        into += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

// Sets `start` to where the line that ends at the cursor starts (after the last newline
// before its own last byte, or at the file's start), its first piece in the buffer.
bool BackwardLines::find_line_start(off_t& start) {
    for (;;) {
        const auto kept = static_cast<std::size_t>(cursor_ - buffer_start_);
        if (kept > 1) {
            if (const void* newline = ::memrchr(buffer_.get(), '\n', kept - 1)) {
                start = buffer_start_ + (static_cast<const char*>(newline) - buffer_.get()) + 1;
                return true;
            }
        }
        if (buffer_start_ == 0) {
            start = 0;
            return true;
        }
        const auto block = static_cast<std::size_t>(std::min<off_t>(kBlockBytes, buffer_start_));
        if (kept < kKeptBytes) {
            // The block before the kept bytes goes in front of them.
            std::memmove(buffer_.get() + block, buffer_.get(), kept);
            buffer_start_ -= static_cast<off_t>(block);
            if (!read_at(buffer_start_, buffer_.get(), block)) return false;
            continue;
        }
        // A long line: search back block by block, keeping none of it, then read the
        // first piece, all that is looked at.
        off_t at = buffer_start_;
        start = 0;
        while (at > 0) {
            const auto size = static_cast<std::size_t>(std::min<off_t>(kBlockBytes, at));
            at -= static_cast<off_t>(size);
            if (!read_at(at, buffer_.get(), size)) return false;
            if (const void* newline = ::memrchr(buffer_.get(), '\n', size)) {
                start = at + (static_cast<const char*>(newline) - buffer_.get()) + 1;
                break;
            }
        }
        buffer_start_ = start;
        return read_at(start, buffer_.get(),
                       static_cast<std::size_t>(std::min<off_t>(cursor_ - start, kLinePieceBytes)));
    }
}

int BackwardLines::previous(std::string_view& piece) {
    if (cursor_ == 0) return 0;
    off_t start = 0;
    if (!find_line_start(start)) return -1;
    const auto size = static_cast<std::size_t>(std::min<off_t>(cursor_ - start, kLinePieceBytes));
    piece = std::string_view(buffer_.get() + (start - buffer_start_), size);
    cursor_ = start;
    return 1;
}
