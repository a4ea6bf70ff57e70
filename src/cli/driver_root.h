// Where the tool finds the printer drivers.
#pragma once

/// The folder that holds one folder per model's driver. The installed tool's is fixed
/// when it is built (/opt/zentrik); nothing at run time changes it.
const char* driver_root();
