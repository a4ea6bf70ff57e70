// The driver root of the sandbox build, which the demo and the tests run and which is
// never installed: ZK_DRIVER_ROOT when set, so that each test lays out its drivers in a
// fresh folder of its own, else the demo's folder in the build tree. ZK_WAIT_SECONDS
// shortens the waits, so that a test of giving up does not take a minute.
#include <cstdlib>

#include "cli/driver_root.h"

const char* driver_root() {
    const char* root = std::getenv("ZK_DRIVER_ROOT");
    return root && *root ? root : ZKPAPERTOOL_SANDBOX_ROOT;
}

int wait_limit_seconds() {
    const char* seconds = std::getenv("ZK_WAIT_SECONDS");
    return seconds && *seconds ? std::atoi(seconds) : 60;
}
