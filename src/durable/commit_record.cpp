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

#include "durable/operation_record.h"
#include "durable/record_file.h"
#include "durable/unique_fd.h"

namespace {

constexpr std::string_view kStagedInfix = ".zk-";
constexpr std::string_view kOldStagedSuffix = ".$$$";
constexpr std::string_view kRecordSuffix = ".commit";
constexpr std::string_view kHeader = "zkpapertoollpr change";
constexpr std::string_view kEnd = "end";
constexpr std::size_t kTokenLength = 16;
// Four names and their inodes take far less; anything longer is not ours.
constexpr std::size_t kMostRecordBytes = 4096;

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

struct Record {
    uid_t owner = 0;
    std::vector<RecordedFile> files;
};

// Reads a complete record of format files only, each once; false for anything else.
bool read_record(int folder_fd, const std::string& name, const std::vector<std::string>& allowed,
                 Record& record) {
    std::string bytes;
    if (!read_record_file(folder_fd, name, kMostRecordBytes, bytes, record.owner)) return false;
    // "<header>\n", then "<name> <inode>\n" for each file, then "<end>\n" and nothing more.
    std::string_view text(bytes);
    const auto next_line = [&text](std::string_view& line) {
        const std::size_t newline = text.find('\n');
        if (newline == std::string_view::npos) return false;
        line = text.substr(0, newline);
        text.remove_prefix(newline + 1);
        return true;
    };
    std::string_view line;
    if (!next_line(line) || line != kHeader) return false;
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

std::string commit_record_name(const std::string& token) {
    return record_name(token, kRecordSuffix);
}

int create_commit_record(int folder_fd, const std::string& token) {
    return create_record_file(folder_fd, record_name(token, kRecordSuffix));
}

Outcome write_commit_record(int folder_fd, const std::string& folder, const std::string& token,
                            const std::vector<RecordedFile>& files, int created) {
    std::string text = std::string(kHeader) + "\n";
    for (const RecordedFile& file : files)
        text += file.name + " " +
                std::to_string(static_cast<unsigned long long>(file.staged_inode)) + "\n";
    text += std::string(kEnd) + "\n";
    const std::string name = record_name(token, kRecordSuffix);
    if (created < 0) return write_record_file(folder_fd, folder, name, text);
    if (const int error = fill_record_file(created, text)) {
        ::unlinkat(folder_fd, name.c_str(), 0);
        return file_error(error, folder + "/" + name);
    }
    return {};
}

void remove_commit_record(int folder_fd, const std::string& token) {
    ::unlinkat(folder_fd, record_name(token, kRecordSuffix).c_str(), 0);
}

Outcome finish_interrupted_changes(int folder_fd, const std::string& folder,
                                   const std::vector<std::string>& names) {
    std::vector<std::string> records, leftovers;
    for_each_folder_entry(folder_fd, [&](std::string_view entry) {
        if (!record_token(entry, kRecordSuffix).empty()) records.emplace_back(entry);
        if (is_staged_file(entry, names)) leftovers.emplace_back(entry);
    });
    Outcome stuck;
    for (const std::string& name : records) {
        const std::string token(record_token(name, kRecordSuffix));
        Record record;
        std::vector<bool> ready;
        const Verdict verdict = read_record(folder_fd, name, names, record)
                                    ? judge(folder_fd, token, record, ready)
                                    : Verdict::kIgnore;
        if (verdict == Verdict::kFinish) {
            if (Outcome finished = finish(folder_fd, folder, token, record, ready); !finished.ok())
                return finished;
            // The operation the change ended is done.
            remove_operation_record(folder_fd, token);
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
    for_each_folder_entry(folder_fd, [&](std::string_view entry) {
        found =
            found || !record_token(entry, kRecordSuffix).empty() || is_staged_file(entry, names);
    });
    return found;
}

std::vector<std::string> committed_names(int folder_fd, const std::vector<std::string>& names) {
    std::vector<std::string> committed = names;
    for_each_folder_entry(folder_fd, [&](std::string_view entry) {
        const std::string token(record_token(entry, kRecordSuffix));
        Record record;
        std::vector<bool> ready;
        if (token.empty() || !read_record(folder_fd, std::string(entry), names, record) ||
            judge(folder_fd, token, record, ready) != Verdict::kFinish)
            return;
        for (std::size_t i = 0; i < record.files.size(); ++i) {
            if (!ready[i]) continue;
            const auto at = std::find(names.begin(), names.end(), record.files[i].name);
            committed[at - names.begin()] = staged_name(record.files[i], token);
        }
    });
    return committed;
}

int for_each_leftover(int folder_fd, const std::vector<std::string>& names,
                      const std::function<void(std::string_view name, Leftover kind)>& take) {
    return for_each_folder_entry(folder_fd, [&](std::string_view entry) {
        if (!record_token(entry, kRecordSuffix).empty()) take(entry, Leftover::kCommitRecord);
        if (!record_token(entry, ".operation").empty()) take(entry, Leftover::kOperationRecord);
        if (is_staged_file(entry, names)) take(entry, Leftover::kStagedFile);
    });
}
