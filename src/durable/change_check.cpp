#include "durable/change_check.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include "durable/line_reader.h"
#include "durable/unique_fd.h"

namespace {

// Whether the kernel lets this process replace files of others in a sticky folder: a
// matter of the CAP_FOWNER capability, not of being root.
bool may_override_owners() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, data) != 0) return false;
    return data[CAP_TO_INDEX(CAP_FOWNER)].effective & CAP_TO_MASK(CAP_FOWNER);
}

bool has_flags(int fd, int flags) {
    int set = 0;
    return ::ioctl(fd, FS_IOC_GETFLAGS, &set) == 0 && (set & flags);
}

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Whether files may be created, renamed and removed in the folder.
int may_change_folder(int fd) {
    if (::faccessat(fd, ".", W_OK | X_OK, AT_EACCESS) != 0) return errno;
    return has_flags(fd, FS_IMMUTABLE_FL | FS_APPEND_FL) ? EPERM : 0;
}

// Whether the rename over the open file `in` would be allowed.
int may_replace(const InputFile& in, const struct stat& folder) {
    const struct stat& file = in.status();
    const uid_t me = ::geteuid();
    if ((folder.st_mode & S_ISVTX) && me != file.st_uid && me != folder.st_uid &&
        !may_override_owners())
        return EPERM;
    if (has_flags(in.descriptor(), FS_IMMUTABLE_FL | FS_APPEND_FL)) return EPERM;
    struct statx mount {};
    if (::statx(in.descriptor(), "", AT_EMPTY_PATH, STATX_BASIC_STATS, &mount) == 0 &&
        (mount.stx_attributes_mask & mount.stx_attributes & STATX_ATTR_MOUNT_ROOT))
        return EBUSY;
    return 0;
}

// Whether a file of `size` bytes may be written under the file size limit, which would
// otherwise end the run with SIGXFSZ while staging.
bool fits_size_limit(off_t size) {
    rlimit limit{};
    return ::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
           static_cast<rlim_t>(size) <= limit.rlim_cur;
}

}  // namespace

Outcome check_changeable(const std::vector<std::string>& files, std::size_t growth) {
    if (files.empty()) return {};
    const std::string folder_path = folder_of(files.front());
    const UniqueFd folder_fd(::open(folder_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat folder {};
    if (!folder_fd.valid() || ::fstat(folder_fd.get(), &folder) != 0)
        return file_error(errno, folder_path);
    if (const int error = may_change_folder(folder_fd.get())) return file_error(error, folder_path);
    for (const std::string& path : files) {
        InputFile in;
        if (const int error = in.open(path)) return file_error(error, path);
        if (const int error = may_replace(in, folder)) return file_error(error, path);
        if (!fits_size_limit(in.status().st_size + static_cast<off_t>(growth)))
            return file_error(EFBIG, path);
    }
    return {};
}
