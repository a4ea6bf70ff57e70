#include "support.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

std::string read_file(const std::string& path) {
    if (std::filesystem::is_fifo(path)) return "(a FIFO)";
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::size_t entries(const std::string& folder) {
    return std::distance(std::filesystem::directory_iterator(folder), {});
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator) parts.emplace_back();
        if (c != separator) parts.back() += c;
    }
    return parts;
}

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string word; in >> word;) {
        std::replace(word.begin(), word.end(), '~', ' ');
        std::replace(word.begin(), word.end(), '^', '\n');
        out.push_back(word);
    }
    return out;
}

void PrintTo(const RunResult& result, std::ostream* out) {
    *out << "exit status " << result.status << ", output \"" << result.out << "\"";
}

Started start_program(const std::string& path, const std::vector<std::string>& argv,
                      const std::vector<std::string>& env, const std::vector<int>& ignored) {
    std::vector<char*> args, envp;
    for (const std::string& word : argv) args.push_back(const_cast<char*>(word.c_str()));
    args.push_back(nullptr);
    // getenv takes the first entry of a name, so the extra ones win.
    for (const std::string& entry : env) envp.push_back(const_cast<char*>(entry.c_str()));
    for (char** entry = environ; *entry; ++entry) envp.push_back(*entry);
    envp.push_back(nullptr);
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) throw std::runtime_error("pipe failed");
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipe_fds[1], STDOUT_FILENO);
        close(pipe_fds[0]);
        close(pipe_fds[1]);
        for (int signal_number : ignored) signal(signal_number, SIG_IGN);
        execve(path.c_str(), args.data(), envp.data());
        _exit(127);
    }
    close(pipe_fds[1]);
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

std::vector<std::vector<std::string>> paper_tool_calls(const std::string& tool) {
    std::vector<std::vector<std::string>> calls(1);
    // Each word, and the newline that ends each call, is followed by a zero byte.
    for (const std::string& word : split(read_file(tool + ".log"), '\0')) {
        if (word == "\n") calls.emplace_back();
        if (word != "\n" && !word.empty()) calls.back().push_back(word);
    }
    calls.pop_back();
    return calls;
}
