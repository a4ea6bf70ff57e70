#include <string>
#include <string_view>

#include "store/format_id.h"
#include "store/paper_tool.h"
#include "store/rewrite.h"
#include "store/store.h"

namespace {

// `id` must outlive the filter.
LineFilter drop_lines_of(const std::string& id) {
    return {id, [&id](std::string_view line) {
                return refers_to_format(line, id) ? LineDecision{LineDecision::kDrop, {}}
                                                  : LineDecision{};
            }};
}

LineFilter reset_lines_of(const std::string& id, std::string_view replacement) {
    return {id, [&id, replacement](std::string_view line) {
                return refers_to_format(line, id)
                           ? LineDecision{LineDecision::kReplace, replacement}
                           : LineDecision{};
            }};
}

}  // namespace

Outcome delete_label_format(const FormatRequest& request, const DriverPaths& paths) {
    const Outcome tool = run_paper_tool(
        {paths.paper_tool, "-P", request.printer, "-d", request.label, "-show", "1"});
    if (!tool.ok()) return tool;

    std::string listed_id;
    if (Outcome found = find_format_id(paths.function_file, request.label, listed_id); !found.ok())
        return found;
    FileChange change;
    if (Outcome staged = change.stage(paths.function_file, drop_lines_of(listed_id)); !staged.ok())
        return staged;
    // From here on the paper info file's entry names the identifier to remove. Without
    // one the format leaves the function file alone.
    std::string id;
    if (Outcome found = find_format_id(paths.paper_info_file, request.label, id); !found.ok()) {
        if (found.result != RESULT_NOT_FOUND) return found;
        const Outcome committed = change.commit();
        return committed.ok() ? found : committed;
    }
    // A settings line that chose this format falls back to the driver's default media.
    const std::string_view reset = is_tape_model(request) ? "Media=zkS12mm\n" : "MediaSize=29X1\n";
    if (Outcome staged = change.stage(paths.paper_info_file, drop_lines_of(id)); !staged.ok())
        return staged;
    if (Outcome staged = change.stage(paths.settings_file, reset_lines_of(id, reset)); !staged.ok())
        return staged;
    if (Outcome staged = change.stage(paths.imaging_area_file, drop_lines_of(id)); !staged.ok())
        return staged;
    return change.commit();
}
