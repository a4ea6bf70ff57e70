// Helpers shared by the tests: scratch folders, whole-file I/O, running programs.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

using Files = std::vector<std::string>;

/// A fresh folder, removed with everything in it.
struct TempDir {
    explicit TempDir(std::string pattern = "/tmp/zkpapertool-test-XXXXXX")
        : path(mkdtemp(pattern.data())) {}
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    const std::string path;
};

/// The file's bytes, "" when it is missing; a stand-in text for a FIFO, which would
/// wait for a writer forever.
inline std::string read_file(const std::string& path) {
    if (std::filesystem::is_fifo(path)) return "(a FIFO)";
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}
inline void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}
inline std::size_t entries(const std::string& folder) {
    return std::distance(std::filesystem::directory_iterator(folder), {});
}

inline std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text + separator);
    for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
    return parts;
}
/// `text` cut at blanks; in a word "~" stands for a blank, "^" for a newline, "}" a tab;
/// '' alone for an empty word.
inline std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string word; in >> word; out.push_back(word == "''" ? "" : word)) {
        std::replace(word.begin(), word.end(), '~', ' ');
        std::replace(word.begin(), word.end(), '^', '\n');
        std::replace(word.begin(), word.end(), '}', '\t');
    }
    return out;
}

/// A program started in the background, its standard output going to a pipe, its
/// standard error to a file in memory (which never fills up and stalls it).
struct Started {
    pid_t pid;
    int out_fd, err_fd;
};
/// Starts `path` with exactly the words `argv`, no shell in between, the environment
/// plus `env` ("NAME=value", these win) and the `ignored` signals ignored, as a parent
/// such as nohup leaves them.
inline Started start_program(const std::string& path, const std::vector<std::string>& argv,
                             const std::vector<std::string>& env = {},
                             const std::vector<int>& ignored = {}) {
    std::vector<char*> args, envp;
    for (const std::string& word : argv) args.push_back(const_cast<char*>(word.c_str()));
    args.push_back(nullptr);
    // Not every reader takes the first entry of a name (ASan's runtime does not), so
    // the inherited entries of a name given here are left out.
    for (const std::string& entry : env) envp.push_back(const_cast<char*>(entry.c_str()));
    for (char** entry = environ; *entry; ++entry) {
        const std::string_view name(*entry, std::strcspn(*entry, "=") + 1);
        if (std::none_of(env.begin(), env.end(), [&](auto& e) { return e.rfind(name, 0) == 0; }))
            envp.push_back(*entry);
    }
    envp.push_back(nullptr);
    int pipe_fds[2];  // close-on-exec: programs started side by side hold only their own
    const int err_fd = memfd_create("stderr", MFD_CLOEXEC);
    if (pipe2(pipe_fds, O_CLOEXEC) != 0 || err_fd < 0) abort();
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipe_fds[1], STDOUT_FILENO);
        dup2(err_fd, STDERR_FILENO);
        for (int signal_number : ignored) signal(signal_number, SIG_IGN);
        execve(path.c_str(), args.data(), envp.data());
        _exit(127);
    }
    close(pipe_fds[1]);
    return {child, pipe_fds[0], err_fd};
}

/// The exit status (128 + signal for a signal), standard output and standard error of
/// a finished run.
struct RunResult {
    int status;
    std::string out, err = "";
    bool operator==(const RunResult& other) const {
        return std::tie(status, out, err) == std::tie(other.status, other.out, other.err);
    }
    friend std::ostream& operator<<(std::ostream& os, const RunResult& r) {
        return os << r.status << " " << std::quoted(r.out) << " " << std::quoted(r.err);
    }
};
/// Reads `fd` from where it stands to its end, and closes it.
inline std::string read_to_end(int fd) {
    std::string bytes;
    char buffer[4096];
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) bytes.append(buffer, got);
    close(fd);
    return bytes;
}
/// Collects a started program's output and waits for it to end.
inline RunResult finish(const Started& started) {
    const std::string out = read_to_end(started.out_fd);
    int status = 0;
    waitpid(started.pid, &status, 0);
    lseek(started.err_fd, 0, SEEK_SET);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), out,
            read_to_end(started.err_fd)};
}
