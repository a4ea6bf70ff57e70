// Helpers shared by the tests: scratch folders, whole-file I/O, running programs.
#pragma once

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
};

/// Runs the program at `path` with exactly these argument words (none at all is
/// allowed), no shell in between, collecting standard output.
RunResult run_program(const std::string& path, const std::vector<std::string>& argv);

/// run_program with argv[0] as the path.
inline RunResult run(const std::vector<std::string>& argv) { return run_program(argv[0], argv); }

/// The calls a stand-in paper tool at `tool` recorded, one argument vector each.
std::vector<std::vector<std::string>> paper_tool_calls(const std::string& tool);
