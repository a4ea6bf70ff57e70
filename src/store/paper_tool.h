// Running the driver's CUPS-side paper tool.
#pragma once

#include <string>
#include <vector>

#include "store/outcome.h"

/// Runs argv[0] with exactly these argument words, no shell in between, and waits
/// for it, whatever SIGCHLD disposition we were started with. Its output goes where
/// ours goes. RESULT_OK when it exits with status 0; RESULT_COMMAND_FAILED when it
/// exits otherwise or is killed (error 0), or cannot be started (error: the reason).
Outcome run_paper_tool(const std::vector<std::string>& argv);
