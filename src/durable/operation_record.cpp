#include "durable/operation_record.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "durable/record_file.h"
#include "durable/unique_fd.h"

namespace {

constexpr std::string_view kSuffix = ".operation";
constexpr std::string_view kChildSuffix = ".child";
constexpr std::string_view kHeader = "zkpapertoollpr operation\n";
constexpr std::string_view kEnd = "end\n";
// An apply of 100,000 formats takes about a tenth of it.
constexpr std::size_t kMostRecordBytes = 64u << 20;

// The bytes of a small file of /proc or of ours, "" when it cannot be read.
std::string small_file(int folder_fd, const char* path) {
    // Never blocks: a FIFO planted as a note would hold the run for good.
    const UniqueFd fd(::openat(folder_fd, path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) return {};
    char bytes[4096];
    std::size_t size = 0;
    for (ssize_t got;
         size < sizeof bytes && (got = ::read(fd.get(), bytes + size, sizeof bytes - size)) != 0;) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return {};
        size += static_cast<std::size_t>(got);
    }
    return std::string(bytes, size);
}

std::string boot_id() {
    const std::string id = small_file(AT_FDCWD, "/proc/sys/kernel/random/boot_id");
    return id.empty() || id.back() != '\n' ? "unknown\n" : id;
}

// Whether process `pid` still runs `program` (its first or, for a script, second word)
// as `owner`: anyone may name a process of theirs after the program.
bool runs(pid_t pid, const std::string& program, uid_t owner) {
    const std::string proc = "/proc/" + std::to_string(pid);
    const std::string status = small_file(AT_FDCWD, (proc + "/status").c_str());
    const std::size_t uid = status.find("\nUid:\t");
    if (uid == std::string::npos || std::strtoul(status.c_str() + uid + 6, nullptr, 10) != owner)
        return false;
    const std::string stat = small_file(AT_FDCWD, (proc + "/stat").c_str());
    const std::size_t state = stat.rfind(')');
    // A zombie has ended; only its reaping is left to do.
    if (state == std::string::npos || state + 2 >= stat.size() || stat[state + 2] == 'Z')
        return false;
    const std::string words = small_file(AT_FDCWD, (proc + "/cmdline").c_str());
    std::size_t at = 0;
    for (int word = 0; word < 2 && at < words.size(); ++word) {
        const std::size_t end = std::min(words.find('\0', at), words.size());
        if (words.compare(at, end - at, program) == 0) return true;
        at = end + 1;
    }
    return false;
}

}  // namespace

Outcome write_operation_record(int folder_fd, const std::string& folder, const std::string& token,
                               std::string_view text) {
    std::string whole(kHeader);
    whole.append(text).append(kEnd);
    if (Outcome written = write_record_file(folder_fd, folder, record_name(token, kSuffix), whole);
        !written.ok())
        return written;
    // The paper tool must not act before the record's name is durable too.
    if (::fsync(folder_fd) != 0) {
        const Outcome failed = file_error(errno, folder);
        ::unlinkat(folder_fd, record_name(token, kSuffix).c_str(), 0);
        return failed;
    }
    return {};
}

void remove_operation_record(int folder_fd, const std::string& token) {
    // The note first: a record without one is done again at once, never waited for.
    ::unlinkat(folder_fd, record_name(token, kChildSuffix).c_str(), 0);
    ::unlinkat(folder_fd, record_name(token, kSuffix).c_str(), 0);
}

std::vector<RecordedOperation> recorded_operations(int folder_fd,
                                                   const std::vector<std::string>& names,
                                                   bool tidy) {
    std::vector<std::string> found;
    for_each_folder_entry(folder_fd, [&](std::string_view entry) {
        if (!record_token(entry, kSuffix).empty()) found.emplace_back(entry);
    });
    std::sort(found.begin(), found.end());
    std::vector<RecordedOperation> operations;
    for (const std::string& name : found) {
        RecordedOperation operation{std::string(record_token(name, kSuffix)), {}, 0};
        uid_t& owner = operation.owner;
        std::string& text = operation.text;
        const bool whole = read_record_file(folder_fd, name, kMostRecordBytes, text, owner) &&
                           text.compare(0, kHeader.size(), kHeader) == 0 &&
                           text.size() >= kHeader.size() + kEnd.size() &&
                           text.compare(text.size() - kEnd.size(), kEnd.size(), kEnd) == 0 &&
                           may_have_replaced_all(folder_fd, owner, names);
        if (whole) {
            text = text.substr(kHeader.size(), text.size() - kHeader.size() - kEnd.size());
            operations.push_back(std::move(operation));
        } else if (tidy) {
            remove_operation_record(folder_fd, operation.token);
        }
    }
    return operations;
}

ChildNote::~ChildNote() {
    if (fd_ >= 0) ::close(fd_);
}

int ChildNote::create(int folder_fd, const std::string& token) {
    const std::string id = boot_id();
    // A replay's own child must replace the note of the killed run's, waited for already.
    ::unlinkat(folder_fd, record_name(token, kChildSuffix).c_str(), 0);
    fd_ = ::openat(folder_fd, record_name(token, kChildSuffix).c_str(),
                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd_ < 0) return errno;
    if (::write(fd_, id.data(), id.size()) != static_cast<ssize_t>(id.size()))
        return errno ? errno : EIO;
    pid_at_ = static_cast<off_t>(id.size());
    return 0;
}

void ChildNote::write_own_pid() const {
    if (fd_ < 0) return;
    // Right-aligned in a fixed width, so that a shorter id never leaves digits of a
    // longer one behind.
    char digits[16];
    long pid = static_cast<long>(::getpid());
    int at = static_cast<int>(sizeof digits) - 1;
    digits[at] = '\n';
    for (int i = 0; i < 14; ++i, pid /= 10)
        digits[--at] = pid > 0 || i == 0 ? static_cast<char>('0' + pid % 10) : ' ';
    (void)!::pwrite(fd_, digits + at, sizeof digits - static_cast<std::size_t>(at), pid_at_);
}

pid_t left_child(int folder_fd, const RecordedOperation& operation, const std::string& program) {
    std::string note;
    uid_t owner = 0;
    // Only the note the operation's own run wrote, as trusted as its record.
    if (!read_record_file(folder_fd, record_name(operation.token, kChildSuffix), 4096, note,
                          owner) ||
        owner != operation.owner)
        return 0;
    const std::string id = boot_id();
    if (note.compare(0, id.size(), id) != 0) return 0;
    const long pid = std::strtol(note.c_str() + id.size(), nullptr, 10);
    return pid > 0 && runs(static_cast<pid_t>(pid), program, owner) ? static_cast<pid_t>(pid) : 0;
}
