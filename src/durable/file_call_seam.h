// The failure-injection seam: the system calls through which files are read and
// rewritten, gathered in one table so that tests can make any of them fail.
//
// Contract: production code never changes the table; every call this layer makes on a
// file being read or staged goes through it, so a test that fails one call sees exactly
// what a failing disk would give.
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
