#include "support.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/zkpapertool-test-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool exists(const std::string& path) {
    struct stat status;
    return lstat(path.c_str(), &status) == 0;
}

std::vector<std::string> list_folder(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

Started start_program(const std::string& path, const std::vector<std::string>& argv,
                      const std::vector<std::string>& extra_env) {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
    std::vector<char*> words;
    for (const std::string& word : argv) words.push_back(const_cast<char*>(word.c_str()));
    words.push_back(nullptr);
    // getenv takes the first entry of a name, so the extra ones win.
    std::vector<char*> env;
    for (const std::string& entry : extra_env) env.push_back(const_cast<char*>(entry.c_str()));
    for (char** entry = environ; *entry; ++entry) env.push_back(*entry);
    env.push_back(nullptr);
    pid_t child = 0;
    const int spawned =
        posix_spawn(&child, path.c_str(), &actions, nullptr, words.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    if (spawned != 0) {
        close(pipe_fds[0]);
        throw std::runtime_error("cannot run " + path);
    }
    return {child, pipe_fds[0]};
}

RunResult finish(const Started& started) {
    RunResult result;
    char buffer[4096];
    ssize_t got;
    while ((got = read(started.out_fd, buffer, sizeof buffer)) > 0) result.out.append(buffer, got);
    close(started.out_fd);
    int status = 0;
    waitpid(started.pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

void PrintTo(const RunResult& result, std::ostream* out) {
    *out << "exit status " << result.status << ", output \"" << result.out << "\"";
}

std::vector<std::vector<std::string>> paper_tool_calls(const std::string& tool) {
    std::vector<std::vector<std::string>> calls;
    std::ifstream log(tool + ".log");
    std::string line;
    while (std::getline(log, line)) {
        std::vector<std::string> words(1);
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '\t') {
                words.emplace_back();
            } else if (line[i] == '\\' && i + 1 < line.size()) {
                const char next = line[++i];
                words.back() += next == 't' ? '\t' : next == 'n' ? '\n' : next;
            } else {
                words.back() += line[i];
            }
        }
        calls.push_back(words);
    }
    return calls;
}
