#include "store/driver_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "store/temp_file.h"

Outcome DriverLock::take(const DriverPaths& paths, Mode mode) {
    const int fd = ::open(paths.inf_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return file_error(errno);
    folder_ = UniqueFd(fd);
    while (::flock(fd, mode == kShared ? LOCK_SH : LOCK_EX) != 0) {
        if (errno != EINTR) return file_error(errno);
    }
    if (mode == kExclusive) {
        for (const std::string& file : paths.format_files()) ::unlink(temporary_path(file).c_str());
    }
    return {};
}
