#include "store/line_reader.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "store/file_calls.h"

int InputFile::open(const std::string& path) {
    // O_NONBLOCK: opening a FIFO must not hang the run; regular files ignore it.
    const int fd =
        file_calls().open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0);
    if (fd < 0) return errno;
    fd_ = UniqueFd(fd);
    if (file_calls().fstat(fd, &status_) != 0) return errno;
    if (S_ISDIR(status_.st_mode)) return EISDIR;
    if (!S_ISREG(status_.st_mode)) return EINVAL;
    return 0;
}

long InputFile::fill() {
    for (;;) {
        const ssize_t got = file_calls().read(fd_.get(), buffer_.data(), buffer_.size());
        if (got >= 0) {
            begin_ = 0;
            end_ = static_cast<std::size_t>(got);
            return got;
        }
        if (errno != EINTR) {
            error_ = errno;
            return -1;
        }
    }
}

long read_line(InputFile& in, std::string_view& piece) {
    // Most lines lie whole in the buffer and are handed out where they are; only a
    // piece that straddles two reads is gathered in carry_.
    in.carry_.clear();
    for (;;) {
        if (in.begin_ == in.end_) {
            const long got = in.fill();
            if (got < 0) return -1;
            if (got == 0) break;
        }
        const char* start = in.buffer_.data() + in.begin_;
        const std::size_t room = kLinePieceBytes - in.carry_.size();
        std::size_t take = std::min(in.end_ - in.begin_, room);
        const void* newline = std::memchr(start, '\n', take);
        if (newline) take = static_cast<const char*>(newline) - start + 1;
        in.begin_ += take;
        const bool complete = newline || take == room;
        if (complete && in.carry_.empty()) {
            piece = std::string_view(start, take);
            return static_cast<long>(take);
        }
        in.carry_.append(start, take);
        if (complete) break;
    }
    piece = in.carry_;
    return static_cast<long>(piece.size());
}
