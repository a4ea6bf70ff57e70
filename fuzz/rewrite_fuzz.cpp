// Input: the bytes of a driver file. Rewriting it through a filter must give what a
// plain in-memory model of the rewrite gives, and leave nothing but the file behind.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "store/line_reader.h"
#include "store/rewrite.h"

namespace {

LineDecision decide(std::string_view line) {
    if (line.find("Zk+") != std::string_view::npos) return {LineDecision::kCopyThenAdd, "add\n"};
    if (line.find("Zk-") != std::string_view::npos) return {LineDecision::kDrop, {}};
    if (line.find("Zk=") != std::string_view::npos) return {LineDecision::kReplace, "new\n"};
    return {};
}

// The rewrite as a whole-file computation; inputs stay below one line piece.
std::string model(const std::string& in) {
    std::string out;
    const auto end_line = [&out] {
        if (!out.empty() && out.back() != '\n') out += '\n';
    };
    for (std::size_t at = 0, end; at < in.size(); at = end) {
        end = std::min(in.find('\n', at), in.size() - 1) + 1;
        const std::string_view line(in.data() + at, end - at);
        const LineDecision d = decide(up_to_first_zero(line));
        if (d.action == LineDecision::kReplace) out += d.text;
        if (d.action == LineDecision::kCopy || d.action == LineDecision::kCopyThenAdd) out += line;
        if (d.action == LineDecision::kCopyThenAdd) end_line(), out += d.text;
    }
    end_line();
    return out + "trailer\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string folder = [] {
        char pattern[] = "/tmp/rewrite-fuzz-XXXXXX";
        return std::string(mkdtemp(pattern));
    }();
    const std::string in(reinterpret_cast<const char*>(data), size), path = folder + "/f";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << in;
    if (!rewrite_file(path, {"Zk", decide}, "trailer\n").ok()) __builtin_trap();
    std::ostringstream out;
    out << std::ifstream(path, std::ios::binary).rdbuf();
    const auto files = std::distance(std::filesystem::directory_iterator(folder), {});
    if (out.str() != model(in) || files != 1) __builtin_trap();
    return 0;
}
