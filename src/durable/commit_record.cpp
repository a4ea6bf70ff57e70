#include "durable/commit_record.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "durable/unique_fd.h"

namespace {

constexpr std::string_view kStagedInfix = ".zk-";
constexpr std::string_view kOldStagedSuffix = ".$$$";
constexpr std::string_view kRecordPrefix = "zkpapertoollpr.";
constexpr std::string_view kRecordSuffix = ".commit";
constexpr std::string_view kHeader = "zkpapertoollpr change";
constexpr std::string_view kEnd = "end";
constexpr std::size_t kTokenLength = 16;
// Four names and their inodes take far less; anything longer is not ours.
constexpr std::size_t kMostRecordBytes = 4096;

bool is_token(std::string_view text) {
    return text.size() == kTokenLength && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

std::string record_name(std::string_view token) {
    return std::string(kRecordPrefix) + std::string(token) + std::string(kRecordSuffix);
}

// The token a record's name holds; empty for any other name.
std::string_view record_token(std::string_view name) {
    if (name.size() != kRecordPrefix.size() + kTokenLength + kRecordSuffix.size()) return {};
    if (name.substr(0, kRecordPrefix.size()) != kRecordPrefix) return {};
    if (name.substr(name.size() - kRecordSuffix.size()) != kRecordSuffix) return {};
    const std::string_view token = name.substr(kRecordPrefix.size(), kTokenLength);
    return is_token(token) ? token : std::string_view();
}

// A staged file of any change, or a temporary file of an earlier version, of `names`.
bool is_staged_file(std::string_view entry, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        if (entry.substr(0, name.size()) != name) continue;
        const std::string_view rest = entry.substr(name.size());
        if (rest == kOldStagedSuffix) return true;
        if (rest.substr(0, kStagedInfix.size()) == kStagedInfix &&
            is_token(rest.substr(kStagedInfix.size())))
            return true;
    }
    return false;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// Calls `take` with the name of every entry of the folder.
template <typename Take>
void for_each_entry(int folder_fd, Take take) {
    const int fd = ::openat(folder_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    const std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
    if (!dir) {
        ::close(fd);
        return;
    }
    while (const dirent* entry = ::readdir(dir.get())) take(std::string_view(entry->d_name));
}

struct Record {
    uid_t owner = 0;
    std::vector<RecordedFile> files;
};

// Reads a complete record of format files only, each once; false for anything else.
bool read_record(int folder_fd, const std::string& name, const std::vector<std::string>& allowed,
                 Record& record) {
    const UniqueFd fd(
        ::openat(folder_fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    // Records are written with one link and mode 0644: another link (made to a file of
    // someone else's that we may write) or a writable mode would let its owner speak for
    // someone who never wrote it.
    if (!fd.valid() || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_nlink != 1 || (status.st_mode & (S_IWGRP | S_IWOTH)) ||
        status.st_size > static_cast<off_t>(kMostRecordBytes))
        return false;
    char bytes[kMostRecordBytes + 1];
    std::size_t size = 0;
    for (ssize_t got; (got = ::read(fd.get(), bytes + size, sizeof bytes - size)) != 0;) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        size += static_cast<std::size_t>(got);
        if (size == sizeof bytes) return false;
    }
    // "<header>\n", then "<name> <inode>\n" for each file, then "<end>\n" and nothing more.
    std::string_view text(bytes, size);
    const auto next_line = [&text](std::string_view& line) {
        const std::size_t newline = text.find('\n');
        if (newline == std::string_view::npos) return false;
        line = text.substr(0, newline);
        text.remove_prefix(newline + 1);
        return true;
    };
    std::string_view line;
    if (!next_line(line) || line != kHeader) return false;
    record.owner = status.st_uid;
    while (next_line(line) && line != kEnd) {
        const std::size_t blank = line.find(' ');
        const std::string_view digits =
            blank == std::string_view::npos ? "" : line.substr(blank + 1);
        if (digits.empty() || digits.size() > 20 ||
            digits.find_first_not_of("0123456789") != std::string_view::npos)
            return false;
        RecordedFile file{
            std::string(line.substr(0, blank)),
            static_cast<ino_t>(std::strtoull(std::string(digits).c_str(), nullptr, 10))};
        const bool known = std::count(allowed.begin(), allowed.end(), file.name) == 1;
        const bool twice = std::any_of(record.files.begin(), record.files.end(),
                                       [&](const RecordedFile& f) { return f.name == file.name; });
        if (!known || twice) return false;
        record.files.push_back(file);
    }
    // Complete only with its end line last: a killed writer leaves no commit point.
    return line == kEnd && text.empty() && !record.files.empty();
}

// Whether `owner`, who could create the record in the folder, could have replaced
// `target` itself: a record of anyone else's must not make us replace files they may
// not. Only a sticky folder stops one who may write the folder from renaming over a file.
bool may_have_replaced(uid_t owner, const struct stat& target, const struct stat& folder) {
    return owner == 0 || owner == ::geteuid() || owner == target.st_uid || owner == folder.st_uid ||
           !(folder.st_mode & S_ISVTX);
}

enum class Verdict { kFinish, kRollBack, kIgnore, kStuck };

std::string staged_name(const RecordedFile& file, const std::string& token) {
    return file.name + std::string(kStagedInfix) + token;
}

// What to do with a complete record, file by file: a file whose name holds the recorded
// inode is renamed already; one whose staged name holds a regular file of the record's
// or the file's owner (the recorded inode, or a copy of it after a restore) is ready.
// All renamed or ready: finish. None renamed, a staged file missing and the rest the
// very ones recorded: the power failed before the commit point was durable (no rename
// comes before the folder sync that makes every staged name durable), so roll back.
// Anything else cannot be told apart from a half-done change: leave it for a person.
// A record whose owner could not have replaced the files is ignored.
Verdict judge(int folder_fd, const std::string& token, const Record& record,
              std::vector<bool>& ready) {
    struct stat folder {};
    if (::fstat(folder_fd, &folder) != 0) return Verdict::kStuck;
    bool any_renamed = false, any_missing = false, staged_as_recorded = true;
    for (const RecordedFile& file : record.files) {
        struct stat target {};
        struct stat staged {};
        const bool has_target =
            ::fstatat(folder_fd, file.name.c_str(), &target, AT_SYMLINK_NOFOLLOW) == 0;
        if (has_target && !may_have_replaced(record.owner, target, folder)) return Verdict::kIgnore;
        const bool renamed = has_target && target.st_ino == file.staged_inode;
        const bool has_staged = ::fstatat(folder_fd, staged_name(file, token).c_str(), &staged,
                                          AT_SYMLINK_NOFOLLOW) == 0 &&
                                S_ISREG(staged.st_mode);
        const bool as_recorded = has_staged && staged.st_ino == file.staged_inode;
        const bool owned = has_staged && (staged.st_uid == record.owner ||
                                          (has_target && staged.st_uid == target.st_uid));
        ready.push_back(!renamed && (as_recorded || owned));
        if (!renamed && has_staged && !as_recorded) staged_as_recorded = false;
        any_renamed = any_renamed || renamed;
        any_missing = any_missing || (!renamed && !ready.back());
    }
    if (!any_missing) return Verdict::kFinish;
    return !any_renamed && staged_as_recorded ? Verdict::kRollBack : Verdict::kStuck;
}

Outcome finish(int folder_fd, const std::string& folder, const std::string& token,
               const Record& record, const std::vector<bool>& ready) {
    for (std::size_t i = 0; i < record.files.size(); ++i) {
        const RecordedFile& file = record.files[i];
        if (ready[i] && ::renameat(folder_fd, staged_name(file, token).c_str(), folder_fd,
                                   file.name.c_str()) != 0)
            return file_error(errno, folder + "/" + file.name);
    }
    if (::fsync(folder_fd) != 0) return file_error(errno, folder);
    return {};
}

}  // namespace

std::string new_change_token() {
    unsigned char random[kTokenLength / 2] = {};
    std::size_t got = 0;
    while (got < sizeof random) {
        const ssize_t n = ::getrandom(random + got, sizeof random - got, 0);
        if (n > 0) got += static_cast<std::size_t>(n);
        if (n < 0 && errno != EINTR) break;
    }
    // Without a random source the names are only unique, not secret: mix in what differs.
    if (got < sizeof random) {
        const unsigned long long mixed = static_cast<unsigned long long>(::getpid()) * 2654435761u ^
                                         reinterpret_cast<std::uintptr_t>(&got);
        for (std::size_t i = 0; i < sizeof random; ++i) random[i] ^= (mixed >> (8 * i)) & 0xFF;
    }
    char token[kTokenLength + 1];
    for (std::size_t i = 0; i < sizeof random; ++i)
        std::snprintf(token + 2 * i, 3, "%02x", static_cast<unsigned>(random[i]));
    return token;
}

std::string staged_path(const std::string& target, const std::string& token) {
    return target + std::string(kStagedInfix) + token;
}

Outcome write_commit_record(int folder_fd, const std::string& folder, const std::string& token,
                            const std::vector<RecordedFile>& files) {
    const std::string name = record_name(token);
    std::string text = std::string(kHeader) + "\n";
    for (const RecordedFile& file : files)
        text += file.name + " " +
                std::to_string(static_cast<unsigned long long>(file.staged_inode)) + "\n";
    text += std::string(kEnd) + "\n";
    // Readable by all: whoever runs next may have to finish it.
    UniqueFd fd(::openat(folder_fd, name.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!fd.valid()) return file_error(errno, folder + "/" + name);
    const char* bytes = text.data();
    std::size_t left = text.size();
    int error = 0;
    while (left > 0 && !error) {
        const ssize_t written = ::write(fd.get(), bytes, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) error = written < 0 ? errno : EIO;
        if (written > 0) bytes += written, left -= static_cast<std::size_t>(written);
    }
    if (!error && ::fsync(fd.get()) != 0) error = errno;
    if (!error && ::close(fd.release()) != 0) error = errno;
    if (!error) return {};
    ::unlinkat(folder_fd, name.c_str(), 0);
    return file_error(error, folder + "/" + name);
}

void remove_commit_record(int folder_fd, const std::string& token) {
    ::unlinkat(folder_fd, record_name(token).c_str(), 0);
}

Outcome finish_interrupted_changes(int folder_fd, const std::string& folder,
                                   const std::vector<std::string>& names) {
    std::vector<std::string> records, leftovers;
    for_each_entry(folder_fd, [&](std::string_view entry) {
        if (!record_token(entry).empty()) records.emplace_back(entry);
        if (is_staged_file(entry, names)) leftovers.emplace_back(entry);
    });
    Outcome stuck;
    for (const std::string& name : records) {
        const std::string token(record_token(name));
        Record record;
        std::vector<bool> ready;
        const Verdict verdict = read_record(folder_fd, name, names, record)
                                    ? judge(folder_fd, token, record, ready)
                                    : Verdict::kIgnore;
        if (verdict == Verdict::kFinish) {
            if (Outcome finished = finish(folder_fd, folder, token, record, ready); !finished.ok())
                return finished;
        }
        if (verdict == Verdict::kStuck) {
            // Its staged files stay with it, for whoever sorts it out.
            leftovers.erase(std::remove_if(leftovers.begin(), leftovers.end(),
                                           [&](const std::string& leftover) {
                                               return leftover.find(token) != std::string::npos;
                                           }),
                            leftovers.end());
            stuck = file_error(0, folder + "/" + name);
            stuck.why =
                "a change a killed run left cannot be finished: a staged file is missing or "
                "not the one recorded; remove this record to keep the files as they are";
            continue;
        }
        ::unlinkat(folder_fd, name.c_str(), 0);
    }
    // With the lock held and every record done, no staged file is anyone's any more;
    // those a finished record named are gone already.
    for (const std::string& name : leftovers) ::unlinkat(folder_fd, name.c_str(), 0);
    return stuck;
}

bool has_interrupted_change(int folder_fd, const std::vector<std::string>& names) {
    bool found = false;
    for_each_entry(folder_fd, [&](std::string_view entry) {
        found = found || !record_token(entry).empty() || is_staged_file(entry, names);
    });
    return found;
}

int for_each_leftover(int folder_fd, const std::vector<std::string>& names,
                      const std::function<void(std::string_view name, Leftover kind)>& take) {
    constexpr std::string_view kOperationSuffix = ".operation";
    const auto is_operation_record = [&](std::string_view entry) {
        return entry.size() == kRecordPrefix.size() + kTokenLength + kOperationSuffix.size() &&
               entry.substr(0, kRecordPrefix.size()) == kRecordPrefix &&
               entry.substr(entry.size() - kOperationSuffix.size()) == kOperationSuffix &&
               is_token(entry.substr(kRecordPrefix.size(), kTokenLength));
    };
    const int fd = ::openat(folder_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    const std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
    if (!dir) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    // readdir tells the end from a failure only by errno.
    for (errno = 0; const dirent* found = ::readdir(dir.get()); errno = 0) {
        const std::string_view entry(found->d_name);
        if (!record_token(entry).empty()) take(entry, Leftover::kCommitRecord);
        if (is_operation_record(entry)) take(entry, Leftover::kOperationRecord);
        if (is_staged_file(entry, names)) take(entry, Leftover::kStagedFile);
    }
    return errno;
}
