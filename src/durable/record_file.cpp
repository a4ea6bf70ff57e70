#include "durable/record_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "durable/unique_fd.h"

namespace {

constexpr std::string_view kRecordPrefix = "zkpapertoollpr.";
constexpr std::size_t kTokenLength = 16;

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

bool is_token(std::string_view text) {
    return text.size() == kTokenLength && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

std::string_view record_token(std::string_view name, std::string_view suffix) {
    if (name.size() != kRecordPrefix.size() + kTokenLength + suffix.size()) return {};
    if (name.substr(0, kRecordPrefix.size()) != kRecordPrefix) return {};
    if (name.substr(name.size() - suffix.size()) != suffix) return {};
    const std::string_view token = name.substr(kRecordPrefix.size(), kTokenLength);
    return is_token(token) ? token : std::string_view();
}

std::string record_name(std::string_view token, std::string_view suffix) {
    return std::string(kRecordPrefix) + std::string(token) + std::string(suffix);
}

int create_record_file(int folder_fd, const std::string& name) {
    // Readable by all: whoever runs next may have to finish what it tells.
    return ::openat(folder_fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0644);
}

int fill_record_file(int fd, std::string_view text) {
    const char* bytes = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, bytes, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return written < 0 ? errno : EIO;
        bytes += written;
        left -= static_cast<std::size_t>(written);
    }
    return ::fsync(fd) != 0 ? errno : 0;
}

Outcome write_record_file(int folder_fd, const std::string& folder, const std::string& name,
                          std::string_view text) {
    UniqueFd fd(create_record_file(folder_fd, name));
    if (!fd.valid()) return file_error(errno, folder + "/" + name);
    int error = fill_record_file(fd.get(), text);
    if (!error && ::close(fd.release()) != 0) error = errno;
    if (!error) return {};
    ::unlinkat(folder_fd, name.c_str(), 0);
    return file_error(error, folder + "/" + name);
}

bool read_record_file(int folder_fd, const std::string& name, std::size_t most, std::string& text,
                      uid_t& owner) {
    const UniqueFd fd(
        ::openat(folder_fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (!fd.valid() || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_nlink != 1 || (status.st_mode & (S_IWGRP | S_IWOTH)) ||
        status.st_size > static_cast<off_t>(most))
        return false;
    text.assign(static_cast<std::size_t>(status.st_size) + 1, '\0');
    std::size_t size = 0;
    for (ssize_t got; (got = ::read(fd.get(), text.data() + size, text.size() - size)) != 0;) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        size += static_cast<std::size_t>(got);
        // Grown since fstat: not a record at rest.
        if (size == text.size()) return false;
    }
    text.resize(size);
    owner = status.st_uid;
    return true;
}

bool may_have_replaced(uid_t owner, const struct stat& target, const struct stat& folder) {
    return owner == 0 || owner == ::geteuid() || owner == target.st_uid || owner == folder.st_uid ||
           !(folder.st_mode & S_ISVTX);
}

bool may_have_replaced_all(int folder_fd, uid_t owner, const std::vector<std::string>& names) {
    struct stat folder {};
    if (::fstat(folder_fd, &folder) != 0) return false;
    return std::all_of(names.begin(), names.end(), [&](const std::string& name) {
        struct stat target {};
        return ::fstatat(folder_fd, name.c_str(), &target, AT_SYMLINK_NOFOLLOW) != 0 ||
               may_have_replaced(owner, target, folder);
    });
}

int for_each_folder_entry(int folder_fd, const std::function<void(std::string_view)>& take) {
    const int fd = ::openat(folder_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    const std::unique_ptr<DIR, DirCloser> dir(::fdopendir(fd));
    if (!dir) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    // readdir tells the end from a failure only by errno.
    for (errno = 0; const dirent* entry = ::readdir(dir.get()); errno = 0)
        take(std::string_view(entry->d_name));
    return errno;
}
