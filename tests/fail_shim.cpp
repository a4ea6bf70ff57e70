// Preloaded into the tool by the end-to-end tests to make a file call fail the way a
// full or read-only disk would: ZK_FAIL_FSYNC=<errno> fails every fsync,
// ZK_FAIL_RENAME=<errno> every rename.
#include <dlfcn.h>

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
