#include "store/temp_file.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "store/file_calls.h"
#include "store/store.h"

namespace {

constexpr std::size_t kWriteBufferBytes = 64 * 1024;

// The temporary file a signal handler must remove. Only async-signal-safe state:
// a fixed buffer and a flag set after it is complete.
char g_pending_path[PATH_MAX];
volatile sig_atomic_t g_pending = 0;

void remember_pending(const std::string& path) {
    if (path.size() >= sizeof g_pending_path) return;
    std::memcpy(g_pending_path, path.c_str(), path.size() + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    g_pending = 1;
}

void forget_pending() { g_pending = 0; }

extern "C" void remove_pending_and_die(int signal_number) {
    if (g_pending) ::unlink(g_pending_path);
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
}

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

void install_interrupt_cleanup() {
    struct sigaction action {};
    action.sa_handler = remove_pending_and_die;
    sigemptyset(&action.sa_mask);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal_number, &action, nullptr);
}

TempFile::TempFile(std::string target) : target_(std::move(target)), path_(target_ + ".$$$") {
    buffer_.reserve(kWriteBufferBytes);
}

TempFile::~TempFile() {
    if (!owned_) return;
    fd_.reset();
    ::unlink(path_.c_str());
    forget_pending();
}

int TempFile::create() {
    remember_pending(path_);
    // Whatever a crashed run left here is removed, not opened: it may be a link
    // planted to make us write elsewhere. O_EXCL|O_NOFOLLOW then refuses anything
    // that reappears.
    ::unlink(path_.c_str());
    const int fd = file_calls().open(path_.c_str(),
                                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        forget_pending();
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
    if (bytes.size() >= kWriteBufferBytes) {
        buffer_.assign(bytes.begin(), bytes.end());
        return flush();
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    return 0;
}

int TempFile::end_line() { return at_line_start_ ? 0 : write("\n"); }

int TempFile::flush() {
    const char* next = buffer_.data();
    std::size_t left = buffer_.size();
    while (left > 0) {
        const ssize_t written = file_calls().write(fd_.get(), next, left);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return errno;
        // A write that takes nothing would be retried forever on a failing device.
        if (written == 0) return EIO;
        next += written;
        left -= static_cast<std::size_t>(written);
    }
    buffer_.clear();
    return 0;
}

int TempFile::settle(const struct stat& original) {
    struct stat mine {};
    if (file_calls().fstat(fd_.get(), &mine) != 0) return errno;
    // Only a change of owner needs privilege; a file we own already stays ours.
    if ((mine.st_uid != original.st_uid || mine.st_gid != original.st_gid) &&
        file_calls().fchown(fd_.get(), original.st_uid, original.st_gid) != 0)
        return errno;
    // Everyone using the driver may edit its formats: the driver package expects 0666.
    if (file_calls().fchmod(fd_.get(), 0666) != 0) return errno;
    return 0;
}

int TempFile::commit(const struct stat& original) {
    if (const int error = flush()) return error;
    if (const int error = settle(original)) return error;
    if (file_calls().fsync(fd_.get()) != 0) return errno;
    // The descriptor is gone after close, whatever close reports.
    if (file_calls().close(fd_.release()) != 0) return errno;

    const int folder_fd =
        file_calls().open(folder_of(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (folder_fd < 0) return errno;
    UniqueFd folder(folder_fd);
    if (file_calls().rename(path_.c_str(), target_.c_str()) != 0) return errno;
    owned_ = false;
    forget_pending();
    // The new content is in place now; only its survival of a power cut is in doubt.
    if (file_calls().fsync(folder.get()) != 0) return errno;
    return 0;
}
