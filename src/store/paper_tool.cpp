#include "store/paper_tool.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>

extern char** environ;

Result run_paper_tool(const std::vector<std::string>& argv) {
    std::vector<char*> words;
    for (const std::string& word : argv) words.push_back(const_cast<char*>(word.c_str()));
    words.push_back(nullptr);

    // Whatever we have buffered must come out before the tool's own words.
    std::fflush(stdout);
    pid_t child = 0;
    if (posix_spawn(&child, words[0], nullptr, nullptr, words.data(), environ) != 0)
        return RESULT_COMMAND_FAILED;
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return RESULT_COMMAND_FAILED;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? RESULT_OK : RESULT_COMMAND_FAILED;
}
