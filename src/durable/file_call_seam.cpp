#include "durable/file_call_seam.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace {

int open_file(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

const FileCalls kSystemCalls = {
    open_file, ::fstat, ::read, ::write, ::fsync, ::close, ::fchmod, ::fchown, ::rename,
};

FileCalls g_calls = kSystemCalls;

}  // namespace

FileCalls& file_calls() { return g_calls; }

const FileCalls& system_file_calls() { return kSystemCalls; }
