// --apply FILE: making a driver hold exactly the formats a file states.
#pragma once

#include "cli/options.h"
#include "store/driver_paths.h"

/// Reads the file, locks the driver (shared for a dry run), works out what to add,
/// replace and delete, and (but for a dry run) carries it out as one change. Prints one
/// line per change, "added", "replaced" or "deleted", a tab and the name as --list
/// writes it. Returns the exit status: 0, or for a dry run 1 when anything would change;
/// kExitFailed (with a diagnostic) when the file is at fault or anything failed.
int run_apply(const FormatRequest& request, const DriverPaths& paths, const ApplyOptions& apply);
