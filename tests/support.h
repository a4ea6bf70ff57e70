// Helpers shared by the tests: scratch folders, whole-file I/O, running programs.
#pragma once

#include <sys/types.h>

#include <ostream>
#include <string>
#include <vector>

/// A fresh folder under $TMPDIR (or /tmp), removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
bool exists(const std::string& path);
/// Names in `folder`, sorted.
std::vector<std::string> list_folder(const std::string& folder);

struct RunResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out;  // standard output

    bool operator==(const RunResult& other) const {
        return status == other.status && out == other.out;
    }
};

// For test failure messages.
void PrintTo(const RunResult& result, std::ostream* out);

/// A program started in the background, its standard output going to a pipe.
struct Started {
    pid_t pid;
    int out_fd;
};

/// Starts the program at `path` with exactly these argument words (none at all is
/// allowed), no shell in between, and the environment plus `extra_env` ("NAME=value").
Started start_program(const std::string& path, const std::vector<std::string>& argv,
                      const std::vector<std::string>& extra_env = {});

/// Collects a started program's standard output and waits for it to end.
RunResult finish(const Started& started);

inline RunResult run_program(const std::string& path, const std::vector<std::string>& argv,
                             const std::vector<std::string>& extra_env = {}) {
    return finish(start_program(path, argv, extra_env));
}

/// run_program with argv[0] as the path.
inline RunResult run(const std::vector<std::string>& argv) { return run_program(argv[0], argv); }

/// The calls a stand-in paper tool at `tool` recorded, one argument vector each.
std::vector<std::vector<std::string>> paper_tool_calls(const std::string& tool);
