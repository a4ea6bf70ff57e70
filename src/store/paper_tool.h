// Running the driver's CUPS-side paper tool.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "durable/operation_record.h"
#include "durable/outcome.h"
#include "label/request.h"
#include "store/driver_paths.h"

/// How the paper tool is started: the note its process writes its id into first, if
/// any, and the user and group it runs as (-1: ours), for an operation another user
/// recorded.
struct ToolStart {
    const ChildNote* note = nullptr;
    uid_t uid = static_cast<uid_t>(-1);
    gid_t gid = static_cast<gid_t>(-1);
};

/// Runs argv[0] with exactly these argument words, no shell in between, and waits
/// for it, whatever SIGCHLD disposition we were started with; a signal that ends us
/// meanwhile ends it first (track_child). Its output goes where ours goes. RESULT_OK
/// when it exits with status 0; else RESULT_COMMAND_FAILED with argv[0] as subject and
/// its wait status when it exits otherwise or is killed, or the errno when it cannot be
/// started or waited for (or made the user `start` says).
Outcome run_paper_tool(const std::vector<std::string>& argv, const ToolStart& start = {});

/// The paper tool's command line that deletes the request's format.
std::vector<std::string> delete_command(const DriverPaths& paths, const FormatRequest& request);

/// The paper tool's command line that registers the request's format under `id` with
/// these sizes.
std::vector<std::string> add_command(const DriverPaths& paths, const FormatRequest& request,
                                     std::int64_t width, std::int64_t height,
                                     const std::string& id);
