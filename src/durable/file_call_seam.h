// The failure-injection seam: the system calls through which driver files are read and
// rewritten, gathered in one table so that tests can make any of them fail. Production
// code never changes it.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

struct FileCalls {
    int (*open)(const char* path, int flags, mode_t mode);
    int (*fstat)(int fd, struct stat* status);
    ssize_t (*read)(int fd, void* buffer, size_t size);
    ssize_t (*write)(int fd, const void* buffer, size_t size);
    int (*fsync)(int fd);
    int (*close)(int fd);
    int (*fchmod)(int fd, mode_t mode);
    int (*fchown)(int fd, uid_t owner, gid_t group);
    int (*rename)(const char* from, const char* to);
};

/// The table in use; starts out as the real calls.
FileCalls& file_calls();

/// The real calls, for tests that wrap them.
const FileCalls& system_file_calls();
