// Input: the bytes of a driver file. Rewriting it through a filter must give what a
// plain in-memory model of the rewrite gives, and leave nothing but the file behind.
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>

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
    for (std::size_t at = 0, end; at < in.size(); at = end) {
        end = std::min(in.find('\n', at), in.size() - 1) + 1;
        const std::string_view line(in.data() + at, end - at);
        const LineDecision d = decide(up_to_first_zero(line));
        out += d.action == LineDecision::kReplace ? d.text : std::string_view();
        out +=
            d.action == LineDecision::kCopy || d.action == LineDecision::kCopyThenAdd ? line : "";
        if (d.action == LineDecision::kCopyThenAdd)
            out += (out.back() == '\n' ? "" : "\n") + std::string(d.text);
    }
    return out + (out.empty() || out.back() == '\n' ? "" : "\n") + "trailer\n";
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
