#include "store/paper_tool.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "durable/interrupts.h"
#include "durable/unique_fd.h"

extern char** environ;

namespace {

// Starts argv[0]; returns its pid, or -1 with errno set to why it could not run. The
// child reports a failed exec through a close-on-exec pipe, which works where a
// spawned process cannot tell (under valgrind, say). vfork: a copy of our pages would
// cost more than the rest of the run; the child only execs, writes and exits.
pid_t start_tool(char* const argv[], const ToolStart& start) {
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return -1;
    const UniqueFd read_end(report[0]);
    UniqueFd write_end(report[1]);
    pid_t child;
    {
        // An interrupt between the start and track_child would leave the tool running
        // after we die; it waits, and the tool starts with our mask as it was.
        const InterruptsHeld held;
        child = vfork();
        if (child == 0) {
            // Before the tool runs at all, so that a kill of ours at any instant leaves it
            // known to the next run.
            if (start.note) start.note->write_own_pid();
            // Raw system calls: glibc's would tell every thread of the parent, whose
            // memory a vfork child shares. Never run as ourselves when asked not to.
            if (start.uid != static_cast<uid_t>(-1) &&
                (::syscall(SYS_setgroups, 0, nullptr) != 0 ||
                 ::syscall(SYS_setresgid, start.gid, start.gid, start.gid) != 0 ||
                 ::syscall(SYS_setresuid, start.uid, start.uid, start.uid) != 0)) {
                (void)!write(write_end.get(), &errno, sizeof errno);
                _exit(127);
            }
            sigprocmask(SIG_SETMASK, &held.before(), nullptr);
            execve(argv[0], argv, environ);
            (void)!write(write_end.get(), &errno, sizeof errno);
            _exit(127);
        }
        if (child < 0) return -1;
        track_child(child);
    }
    ::close(write_end.release());
    int error = 0;
    ssize_t got;
    while ((got = read(read_end.get(), &error, sizeof error)) < 0 && errno == EINTR) {
    }
    if (got != sizeof error) return child;
    waitpid(child, nullptr, 0);
    untrack_child();
    errno = error;
    return -1;
}

}  // namespace

Outcome run_paper_tool(const std::vector<std::string>& argv, const ToolStart& start) {
    std::vector<char*> words;
    for (const std::string& word : argv) words.push_back(const_cast<char*>(word.c_str()));
    words.push_back(nullptr);

    // Whatever we have buffered must come out before the tool's own words.
    std::fflush(stdout);
    const ChildrenWaitable waitable;
    Outcome failed(RESULT_COMMAND_FAILED, 0, argv[0]);
    const pid_t child = start_tool(words.data(), start);
    if (child < 0) {
        failed.error = errno;
        return failed;
    }
    int status = 0;
    int waited;
    while ((waited = waitpid(child, &status, 0)) < 0 && errno == EINTR) {
    }
    untrack_child();
    if (waited < 0) {
        failed.error = errno;
        return failed;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
    failed.tool_status = status;
    return failed;
}

std::vector<std::string> delete_command(const DriverPaths& paths, const FormatRequest& request) {
    return {paths.paper_tool, "-P", request.printer, "-d", request.label, "-show", "1"};
}

std::vector<std::string> add_command(const DriverPaths& paths, const FormatRequest& request,
                                     std::int64_t width, std::int64_t height,
                                     const std::string& id) {
    return {paths.paper_tool,
            "-P",
            request.printer,
            "-n",
            request.label,
            "-w",
            std::to_string(width),
            "-h",
            std::to_string(height),
            "-specid",
            id,
            "-show",
            "1"};
}
