// Running the driver's CUPS-side paper tool.
#pragma once

#include <string>
#include <vector>

#include "cli/request.h"

/// Runs argv[0] with exactly these argument words, no shell in between, and waits
/// for it. Its output goes where ours goes. RESULT_OK when it exits with status 0;
/// RESULT_COMMAND_FAILED when it cannot be started, exits otherwise or is killed.
Result run_paper_tool(const std::vector<std::string>& argv);
