#include "durable/temp_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "durable/commit_record.h"
#include "durable/file_call_seam.h"
#include "durable/interrupts.h"

namespace {

constexpr std::size_t kWriteBufferBytes = 64 * 1024;

}  // namespace

TempFile::TempFile(std::string target, const std::string& token)
    : target_(std::move(target)), path_(staged_path(target_, token)) {
    buffer_.reserve(kWriteBufferBytes);
}

TempFile::~TempFile() { discard(); }

void TempFile::discard() {
    if (!owned_) return;
    fd_.reset();
    ::unlink(path_.c_str());
    untrack_pending_file(pending_slot_);
    owned_ = false;
}

int TempFile::create() {
    pending_slot_ = track_pending_file(path_);
    const int fd = file_calls().open(path_.c_str(),
                                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        untrack_pending_file(pending_slot_);
        return error;
    }
    fd_ = UniqueFd(fd);
    owned_ = true;
    return 0;
}

int TempFile::write(std::string_view bytes) {
    if (bytes.empty()) return 0;
    at_line_start_ = bytes.back() == '\n';
    if (buffer_.size() + bytes.size() > kWriteBufferBytes) {
        if (const int error = flush()) return error;
    }
    // Large stretches go straight from the reader's buffer to the file.
    if (bytes.size() >= kWriteBufferBytes) return write_all(bytes.data(), bytes.size());
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    return 0;
}

int TempFile::end_line() { return at_line_start_ ? 0 : write("\n"); }

int TempFile::flush() {
    const int error = write_all(buffer_.data(), buffer_.size());
    buffer_.clear();
    return error;
}

int TempFile::write_all(const char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t written = file_calls().write(fd_.get(), bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return errno;
        // A write that takes nothing would be retried forever on a failing device.
        if (written == 0) return EIO;
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

int TempFile::settle(const struct stat& original) {
    struct stat mine {};
    if (file_calls().fstat(fd_.get(), &mine) != 0) return errno;
    inode_ = mine.st_ino;
    // Only a change of owner needs privilege. Where we lack it, the file keeps at
    // least the original's group if we may give it that, else it stays ours, as
    // `sed -i` leaves it: the driver lets every user edit its formats.
    if (mine.st_uid != original.st_uid || mine.st_gid != original.st_gid) {
        if (file_calls().fchown(fd_.get(), original.st_uid, original.st_gid) != 0) {
            if (errno != EPERM) return errno;
            if (mine.st_gid != original.st_gid &&
                file_calls().fchown(fd_.get(), static_cast<uid_t>(-1), original.st_gid) != 0 &&
                errno != EPERM)
                return errno;
        }
    }
    // Everyone using the driver may edit its formats: the driver package expects 0666.
    if (file_calls().fchmod(fd_.get(), 0666) != 0) return errno;
    return 0;
}

int TempFile::finish(const struct stat& original) {
    if (const int error = flush()) return error;
    if (const int error = settle(original)) return error;
    if (file_calls().fsync(fd_.get()) != 0) return errno;
    // The descriptor is gone after close, whatever close reports.
    if (file_calls().close(fd_.release()) != 0) return errno;
    return 0;
}

int TempFile::put_in_place() {
    if (file_calls().rename(path_.c_str(), target_.c_str()) != 0) return errno;
    keep();
    return 0;
}

void TempFile::keep() {
    owned_ = false;
    untrack_pending_file(pending_slot_);
}
