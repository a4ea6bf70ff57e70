#include "store/format_edits.h"

#include "label/format_id.h"

LineFilter taking_out(const std::string& id, LineDecision taken_out) {
    return {std::string_view(id), [&id, taken_out](std::string_view line) {
                return refers_to_format(line, id) ? taken_out : LineDecision{};
            }};
}

LineFilter inserting_entry(const std::string& entry, const std::string& replaced) {
    return {{kInsertionMark, replaced}, [&entry, &replaced](std::string_view line) {
                if (!replaced.empty() && refers_to_format(line, replaced)) return kDrop;
                return is_insertion_mark(line) ? LineDecision{LineDecision::kCopyThenAdd, entry}
                                               : LineDecision{};
            }};
}

LineDecision settings_reset(const FormatRequest& request) {
    return {LineDecision::kReplace,
            is_tape_model(request) ? "Media=zkS12mm\n" : "MediaSize=29X1\n"};
}
