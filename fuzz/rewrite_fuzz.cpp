// Input: the bytes of a driver file. Rewriting it through the filters the operations
// use must give what a plain in-memory model of the rewrite gives, and leave nothing
// but the file in its folder.
#include <dirent.h>
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "store/line_reader.h"
#include "store/rewrite.h"

namespace {

LineDecision decide(std::string_view line) {
    if (line.find("[CustomTape]") != std::string_view::npos)
        return {LineDecision::kCopyThenAdd, "ZkL010A0321F3A7/x\n"};
    if (line.find("ZkL") != std::string_view::npos) return {LineDecision::kDrop, {}};
    if (line.find("Media=") != std::string_view::npos)
        return {LineDecision::kReplace, "Media=zkS12mm\n"};
    return {};
}

constexpr std::string_view kTrailer = "ZkL010A0321F3A7/x:\t70\t353\n";

void end_line(std::string& out) {
    if (!out.empty() && out.back() != '\n') out += '\n';
}

// The rewrite as a whole-file computation: a filter sees the first piece of a line
// up to its first zero byte.
std::string model(const std::string& in) {
    std::string out;
    std::size_t at = 0;
    while (at < in.size()) {
        std::size_t end = in.find('\n', at);
        end = end == std::string::npos ? in.size() : end + 1;
        const std::string_view line(in.data() + at, end - at);
        const std::string_view head = line.substr(0, kLinePieceBytes);
        const LineDecision d = decide(head.substr(0, head.find('\0')));
        if (d.action == LineDecision::kReplace) out += d.text;
        if (d.action == LineDecision::kCopy || d.action == LineDecision::kCopyThenAdd) out += line;
        if (d.action == LineDecision::kCopyThenAdd) {
            end_line(out);
            out += d.text;
        }
        at = end;
    }
    end_line(out);
    out += kTrailer;
    return out;
}

std::string folder() {
    static std::string path = [] {
        char pattern[] = "/tmp/rewrite-fuzz-XXXXXX";
        return std::string(mkdtemp(pattern));
    }();
    return path;
}

int entries(const std::string& path) {
    int count = 0;
    DIR* dir = opendir(path.c_str());
    while (const dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
    closedir(dir);
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string in(reinterpret_cast<const char*>(data), size);
    const std::string path = folder() + "/driver";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << in;
    if (!rewrite_file(path, decide, kTrailer).ok()) __builtin_trap();
    std::ostringstream out;
    out << std::ifstream(path, std::ios::binary).rdbuf();
    if (out.str() != model(in) || entries(folder()) != 1) __builtin_trap();
    return 0;
}
