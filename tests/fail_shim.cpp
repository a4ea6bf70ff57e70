// Preloaded into the tool by the end-to-end tests. ZK_CLOCK=<seconds> stops the clock
// there (microseconds 0x1F3A7), so identifiers are known in advance; ZK_FAIL_FSYNC or
// ZK_FAIL_RENAME=<errno> make every fsync or rename fail as a full or read-only disk would.
#include <dlfcn.h>
#include <sys/time.h>

#include <cerrno>
#include <cstdlib>

namespace {

bool failing(const char* variable) {
    const char* value = std::getenv(variable);
    if (!value) return false;
    errno = std::atoi(value);
    return true;
}

template <typename Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" int gettimeofday(struct timeval* now, void*) noexcept {
    const char* clock = std::getenv("ZK_CLOCK");
    *now = {clock ? std::atol(clock) : 0, 0x1F3A7};
    return 0;
}

extern "C" int fsync(int fd) {
    if (failing("ZK_FAIL_FSYNC")) return -1;
    static const auto real = next<int (*)(int)>("fsync");
    return real(fd);
}

extern "C" int rename(const char* from, const char* to) noexcept {
    if (failing("ZK_FAIL_RENAME")) return -1;
    static const auto real = next<int (*)(const char*, const char*)>("rename");
    return real(from, to);
}
