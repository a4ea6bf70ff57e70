// A rewrite checked against an in-memory model of it, in which each line is judged by
// its first piece up to a zero byte and all its bytes go on. Shared by the store test
// (lines past read boundaries) and the files fuzz target (whatever it makes up).
#pragma once

#include "durable/line_reader.h"
#include "durable/rewrite.h"
#include "label/format_id.h"  // up_to_first_zero
#include "support.h"

// The needle alone adds a line, so that where a needle ends matters.
inline LineDecision decide_by_marks(std::string_view line) {
    if (line.find("Zk-") != std::string_view::npos) return {LineDecision::kDrop, {}};
    if (line.find("Zk=") != std::string_view::npos) return {LineDecision::kReplace, "new\n"};
    if (line.find("Zk") != std::string_view::npos) return {LineDecision::kCopyThenAdd, "add\n"};
    return {};
}

/// What rewriting `in` through decide_by_marks, with the trailer "end\n", must give.
inline std::string rewritten(const std::string& in) {
    std::string out;
    for (std::size_t at = 0, end; at < in.size(); at = end) {
        end = std::min(in.find('\n', at), in.size() - 1) + 1;
        const std::string_view line(in.data() + at, end - at);
        const LineDecision d = decide_by_marks(up_to_first_zero(line.substr(0, kLinePieceBytes)));
        out += d.action == LineDecision::kReplace ? d.text : std::string_view();
        out +=
            d.action == LineDecision::kCopy || d.action == LineDecision::kCopyThenAdd ? line : "";
        if (d.action == LineDecision::kCopyThenAdd)
            out += (out.back() == '\n' ? "" : "\n") + std::string(d.text);
    }
    return out + (out.empty() || out.back() == '\n' ? "" : "\n") + "end\n";
}

/// Whether rewriting `in` as the file "f" in the empty `folder` gives the model's bytes
/// and leaves no other file.
inline bool rewrites_as_modelled(const TempDir& folder, const std::string& in) {
    write_file(folder / "f", in);
    return rewrite_file(folder / "f", {{"Zk"}, decide_by_marks}, "end\n").ok() &&
           read_file(folder / "f") == rewritten(in) && entries(folder.path) == 1;
}
