// Helpers shared by the tests: scratch folders, whole-file I/O, running programs.
#pragma once

#include <stdlib.h>
#include <sys/types.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

/// A fresh folder under /tmp, removed with everything in it.
struct TempDir {
    std::string path = [] {
        char pattern[] = "/tmp/zkpapertool-test-XXXXXX";
        return std::string(mkdtemp(pattern));
    }();
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

/// The file's bytes, "" when it is missing; a stand-in text for a FIFO, which would
/// wait for a writer forever.
std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
std::size_t entries(const std::string& folder);
/// `text` cut at each `separator`.
std::vector<std::string> split(const std::string& text, char separator);
/// `text` cut at blanks; in a word "~" stands for a blank and "^" for a newline.
std::vector<std::string> words(const std::string& text);

struct RunResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out;  // standard output
    bool operator==(const RunResult& o) const { return status == o.status && out == o.out; }
};
void PrintTo(const RunResult& result, std::ostream* out);

/// A program started in the background, its standard output going to a pipe.
struct Started {
    pid_t pid;
    int out_fd;
};

/// Starts `path` with exactly the words `argv` (none at all is allowed), no shell in
/// between, the environment plus `env` ("NAME=value", these win) and the `ignored`
/// signals ignored, as a parent such as nohup leaves them.
Started start_program(const std::string& path, const std::vector<std::string>& argv,
                      const std::vector<std::string>& env = {},
                      const std::vector<int>& ignored = {});
/// Collects a started program's standard output and waits for it to end.
RunResult finish(const Started& started);

/// The calls a stand-in paper tool at `tool` recorded, one argument vector each.
std::vector<std::vector<std::string>> paper_tool_calls(const std::string& tool);
