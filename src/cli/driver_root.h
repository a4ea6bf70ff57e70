// Where the tool finds the printer drivers, and how long it waits for one that another
// run holds: fixed when the installed tool is built, from the environment in the
// sandbox build that the demo and the tests run.
#pragma once

/// The folder that holds one folder per model's driver. The installed tool's is fixed
/// when it is built (/opt/zentrik); nothing at run time changes it.
const char* driver_root();

/// How long a run waits for the driver lock, or for a paper tool a killed run left,
/// before it gives up: a minute, far longer than any change takes.
int wait_limit_seconds();
