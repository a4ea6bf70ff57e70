#include "store/rewrite.h"

#include <utility>

#include "store/line_reader.h"
#include "store/temp_file.h"

namespace {

// Writes `line` (if any) on a line of its own and forgets it.
int add_line(TempFile& out, std::string_view& line) {
    if (line.empty()) return 0;
    if (const int error = out.end_line()) return error;
    return out.write(std::exchange(line, {}));
}

int copy_through(InputFile& in, TempFile& out, const LineFilter& filter) {
    std::string_view piece;
    LineDecision decision;
    std::string_view added;  // written once the line it follows has ended
    bool at_line_start = true;
    long got;
    while ((got = read_line(in, piece)) > 0) {
        if (at_line_start) {
            if (const int error = add_line(out, added)) return error;
            decision = filter(up_to_first_zero(piece));
            if (decision.action == LineDecision::kReplace) {
                if (const int error = out.write(decision.text)) return error;
            }
            if (decision.action == LineDecision::kCopyThenAdd) added = decision.text;
        }
        const bool copy =
            decision.action == LineDecision::kCopy || decision.action == LineDecision::kCopyThenAdd;
        if (copy) {
            if (const int error = out.write(piece)) return error;
        }
        at_line_start = piece.back() == '\n';
    }
    if (got < 0) return in.error();
    return add_line(out, added);
}

}  // namespace

Outcome rewrite_file(const std::string& path, const LineFilter& filter, std::string_view trailer) {
    InputFile in;
    if (const int error = in.open(path)) return file_error(error);
    TempFile out(path);
    if (const int error = out.create()) return file_error(error);
    if (const int error = copy_through(in, out, filter)) return file_error(error);
    if (const int error = add_line(out, trailer)) return file_error(error);
    if (const int error = out.commit(in.status())) return file_error(error);
    return {};
}
