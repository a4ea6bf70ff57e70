#include "store/paper_tool.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>

extern char** environ;

namespace {

// With SIGCHLD ignored the kernel reaps the child itself and waitpid finds nothing,
// so the default disposition stands while the tool runs (and the tool inherits it).
class ChildrenWaitable {
public:
    ChildrenWaitable() {
        struct sigaction standard {};
        standard.sa_handler = SIG_DFL;
        sigemptyset(&standard.sa_mask);
        sigaction(SIGCHLD, &standard, &before_);
    }
    ~ChildrenWaitable() { sigaction(SIGCHLD, &before_, nullptr); }
    ChildrenWaitable(const ChildrenWaitable&) = delete;
    ChildrenWaitable& operator=(const ChildrenWaitable&) = delete;

private:
    struct sigaction before_ {};
};

}  // namespace

Outcome run_paper_tool(const std::vector<std::string>& argv) {
    std::vector<char*> words;
    for (const std::string& word : argv) words.push_back(const_cast<char*>(word.c_str()));
    words.push_back(nullptr);

    // Whatever we have buffered must come out before the tool's own words.
    std::fflush(stdout);
    const ChildrenWaitable waitable;
    pid_t child = 0;
    if (const int error = posix_spawn(&child, words[0], nullptr, nullptr, words.data(), environ))
        return {RESULT_COMMAND_FAILED, error};
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return {RESULT_COMMAND_FAILED};
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
    return {RESULT_COMMAND_FAILED};
}
