#include "durable/line_reader.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "durable/file_call_seam.h"

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

long InputFile::read_more() {
    // What is not handed out yet moves to the front; callers leave room after it.
    if (begin_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    for (;;) {
        const ssize_t got = file_calls().read(fd_.get(), buffer_.get() + end_, kBufferBytes - end_);
        if (got >= 0) {
            end_ += static_cast<std::size_t>(got);
            at_end_ = got == 0;
            return got;
        }
        if (errno != EINTR) {
            error_ = errno;
            return -1;
        }
    }
}

namespace {

// memmem rather than string_view::find: it skips through long stretches far faster.
std::size_t find(std::string_view data, std::string_view needle) {
    if (needle.empty()) return std::string_view::npos;
    const void* hit = ::memmem(data.data(), data.size(), needle.data(), needle.size());
    return hit ? static_cast<const char*>(hit) - data.data() : std::string_view::npos;
}

// Where the first of the needles starts in `data`, and where it ends.
std::size_t find_first(std::string_view data, Needles needles, std::size_t& end) {
    const std::size_t first = find(data, needles.first);
    // Only what comes before the first needle's hit needs a look for the second.
    const std::size_t second =
        find(data.substr(
                 0, first == std::string_view::npos ? data.size() : first + needles.second.size()),
             needles.second);
    const bool second_wins = second != std::string_view::npos && second < first;
    const std::size_t hit = second_wins ? second : first;
    end = hit + (second_wins ? needles.second.size() : needles.first.size());
    return hit;
}

}  // namespace

long next_stretch(InputFile& in, Needles needles, Stretch& out) {
    using Place = InputFile::Place;
    for (;;) {
        if (in.begin_ == in.end_) {
            if (in.at_end_) return 0;
            const long got = in.read_more();
            if (got <= 0) return got;
        }
        const char* const start = in.buffer_.get() + in.begin_;
        const std::string_view data(start, in.end_ - in.begin_);
        const auto hand_out = [&](Stretch::Kind kind, std::size_t length, Place next) {
            out = {kind, data.substr(0, length)};
            in.begin_ += length;
            in.place_ = next;
            return static_cast<long>(length);
        };

        if (in.place_ != Place::kLineStart) {
            // The rest of a line already judged by its first piece.
            const std::size_t newline = data.find('\n');
            const Stretch::Kind kind =
                in.place_ == Place::kInMarkedLine ? Stretch::kMarkedRest : Stretch::kPlain;
            if (newline == std::string_view::npos) return hand_out(kind, data.size(), in.place_);
            return hand_out(kind, newline + 1, Place::kLineStart);
        }

        std::size_t hit_end = 0;
        const std::size_t hit = find_first(data, needles, hit_end);
        if (hit == std::string_view::npos) {
            // Whole lines without the needle go out at once; a part line waits for
            // the rest of it, unless it is long enough to be judged already.
            const std::size_t last_newline = data.rfind('\n');
            if (last_newline != std::string_view::npos)
                return hand_out(Stretch::kPlain, last_newline + 1, Place::kLineStart);
            if (data.size() >= kLinePieceBytes || in.at_end_)
                return hand_out(Stretch::kPlain, data.size(), Place::kInPlainLine);
            if (in.read_more() < 0) return -1;
            continue;
        }
        // Whole lines before the one that holds the needle go out untouched.
        const std::size_t newline_before =
            hit == 0 ? std::string_view::npos : data.rfind('\n', hit - 1);
        if (newline_before != std::string_view::npos) {
            return hand_out(Stretch::kPlain, newline_before + 1, Place::kLineStart);
        }

        const std::size_t newline = data.substr(0, kLinePieceBytes).find('\n');
        std::size_t piece = newline + 1;
        if (newline == std::string_view::npos) {
            if (data.size() < kLinePieceBytes && !in.at_end_) {
                if (in.read_more() < 0) return -1;
                continue;
            }
            piece = std::min(data.size(), kLinePieceBytes);
        }
        // A needle beyond the first piece is not looked at, like the rest of the line.
        const std::string_view first_piece = data.substr(0, piece);
        const bool marked = hit_end <= piece ||
                            find(first_piece, needles.first) != std::string_view::npos ||
                            find(first_piece, needles.second) != std::string_view::npos;
        const Place next = newline != std::string_view::npos ? Place::kLineStart
                           : marked                          ? Place::kInMarkedLine
                                                             : Place::kInPlainLine;
        return hand_out(marked ? Stretch::kMarked : Stretch::kPlain, piece, next);
    }
}
