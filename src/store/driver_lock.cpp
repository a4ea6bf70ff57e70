#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

#include "store/store.h"

Outcome DriverLock::take(const DriverPaths& paths) {
    const int fd = ::open(paths.inf_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return file_error(errno);
    folder_ = UniqueFd(fd);
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) return file_error(errno);
    }
    return {};
}
