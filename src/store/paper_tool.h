// Running the driver's CUPS-side paper tool.
#pragma once

#include <string>
#include <vector>

#include "store/outcome.h"

/// Runs argv[0] with exactly these argument words, no shell in between, and waits
/// for it, whatever SIGCHLD disposition we were started with; a signal that ends us
/// meanwhile ends it first (track_child). Its output goes where ours goes. RESULT_OK
/// when it exits with status 0; else RESULT_COMMAND_FAILED with argv[0] as subject and
/// its wait status when it exits otherwise or is killed, or the errno when it cannot be
/// started or waited for.
Outcome run_paper_tool(const std::vector<std::string>& argv);
