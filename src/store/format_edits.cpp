#include "store/format_edits.h"

#include "label/format_id.h"

LineFilter taking_out(const std::string& id, LineDecision taken_out) {
    return {std::string_view(id), [&id, taken_out](std::string_view line) {
                return refers_to_format(line, id) ? taken_out : LineDecision{};
            }};
}

LineFilter editing_function_file(const std::string& entry, const std::string& replaced,
                                 int& inserted) {
    return {{kInsertionMark, replaced}, [&entry, &replaced, &inserted](std::string_view line) {
                // The mark stays, whatever else its line mentions.
                if (is_insertion_mark(line)) {
                    ++inserted;
                    return LineDecision{LineDecision::kCopyThenAdd, entry};
                }
                return !replaced.empty() && refers_to_format(line, replaced) ? kDrop
                                                                             : LineDecision{};
            }};
}

LineDecision settings_reset(const FormatRequest& request) {
    return {LineDecision::kReplace,
            is_tape_model(request) ? "Media=zkS12mm\n" : "MediaSize=29X1\n"};
}
