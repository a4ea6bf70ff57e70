#include "store/driver_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "durable/commit_record.h"
#include "durable/line_reader.h"

namespace {

constexpr int kQuietWaitSteps = 20;
constexpr long kWaitStepNanoseconds = 50'000'000;

// The process /proc/locks names as holding an flock on the folder `status`; 0 if none.
pid_t lock_holder(const struct stat& status) {
    char device_and_inode[64];
    std::snprintf(device_and_inode, sizeof device_and_inode, "%02x:%02x:%llu", major(status.st_dev),
                  minor(status.st_dev), static_cast<unsigned long long>(status.st_ino));
    InputFile locks;
    if (locks.open("/proc/locks") != 0) return 0;
    // "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"; a waiter's line has "->" first.
    Stretch stretch;
    while (next_stretch(locks, std::string_view(device_and_inode), stretch) > 0) {
        char kind[16], file[64];
        int pid = 0;
        if (stretch.kind == Stretch::kMarked &&
            std::sscanf(std::string(stretch.bytes).c_str(), "%*[^:]: %15s %*s %*s %d %63s", kind,
                        &pid, file) == 3 &&
            std::strcmp(kind, "FLOCK") == 0 && std::strcmp(file, device_and_inode) == 0)
            return pid;
    }
    return 0;
}

}  // namespace

std::string process_name(pid_t pid) {
    InputFile comm;
    Stretch first;
    if (comm.open("/proc/" + std::to_string(pid) + "/comm") != 0 ||
        next_stretch(comm, {}, first) <= 0)
        return {};
    return std::string(first.bytes.substr(0, first.bytes.find('\n')));
}

namespace {

// Waits for the lock, saying so once after about a second, giving up after the
// events' limit.
Outcome wait_for(int fd, int operation, const std::string& folder,
                 const DriverLock::Events& events) {
    for (int step = 0;; ++step) {
        if (::flock(fd, operation | LOCK_NB) == 0) return {};
        if (errno != EWOULDBLOCK && errno != EINTR) return file_error(errno, folder);
        if (step == kQuietWaitSteps || step >= events.wait_seconds * kQuietWaitSteps) {
            struct stat status {};
            const pid_t holder = ::fstat(fd, &status) == 0 ? lock_holder(status) : 0;
            if (step == kQuietWaitSteps && events.waiting)
                events.waiting(holder, holder > 0 ? process_name(holder) : std::string());
            if (step >= events.wait_seconds * kQuietWaitSteps) {
                Outcome stuck = file_error(0, folder);
                stuck.why = "gave up waiting for the driver lock";
                stuck.holder = holder;
                return stuck;
            }
        }
        const timespec pause{0, kWaitStepNanoseconds};
        ::nanosleep(&pause, nullptr);
    }
}

}  // namespace

Outcome DriverLock::take(const DriverPaths& paths, Mode mode, const Events& events) {
    const int fd = ::open(paths.inf_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return file_error(errno, paths.inf_dir);
    folder_ = UniqueFd(fd);
    if (Outcome locked = wait_for(fd, mode == kExclusive || mode == kRepair ? LOCK_EX : LOCK_SH,
                                  paths.inf_dir, events);
        !locked.ok())
        return locked;
    if (mode == kInspect || mode == kRepair) return {};
    const std::vector<std::string> names = paths.format_file_names();
    if (mode == kExclusive) return finish_interrupted_changes(fd, paths.inf_dir, names);
    if (!has_interrupted_change(fd, names)) return {};
    // Converting the lock lets a writer in between, which is harmless: it finishes the
    // change itself.
    Outcome finished = wait_for(fd, LOCK_EX, paths.inf_dir, events);
    if (finished.ok()) finished = finish_interrupted_changes(fd, paths.inf_dir, names);
    if (finished.ok()) return {};
    if (events.unfinished) events.unfinished(finished);
    // A conversion that failed may have dropped the shared lock too.
    return wait_for(fd, LOCK_SH, paths.inf_dir, events);
}

Outcome DriverLock::take(const DriverPaths& paths, Mode mode) {
    return take(paths, mode, Events());
}

Outcome DriverLock::tidy(const DriverPaths& paths) {
    return finish_interrupted_changes(folder_.get(), paths.inf_dir, paths.format_file_names());
}
