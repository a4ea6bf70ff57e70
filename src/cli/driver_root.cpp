#include "cli/driver_root.h"

#ifndef ZKPAPERTOOL_DRIVER_ROOT
#error "ZKPAPERTOOL_DRIVER_ROOT must come from the build"
#endif

const char* driver_root() { return ZKPAPERTOOL_DRIVER_ROOT; }

int wait_limit_seconds() { return 60; }
