#include <string>
#include <string_view>

#include "store/format_id.h"
#include "store/paper_tool.h"
#include "store/rewrite.h"
#include "store/store.h"

namespace {

LineFilter drop_lines_with(std::string id) {
    return [id = std::move(id)](std::string_view line) {
        return contains_format_id(line, id) ? LineDecision{LineDecision::kDrop, {}}
                                            : LineDecision{};
    };
}

LineFilter replace_lines_with(std::string id, std::string_view replacement) {
    return [id = std::move(id), replacement](std::string_view line) {
        return contains_format_id(line, id) ? LineDecision{LineDecision::kReplace, replacement}
                                            : LineDecision{};
    };
}

}  // namespace

Outcome delete_label_format(const FormatRequest& request, const DriverPaths& paths) {
    const Result tool = run_paper_tool(
        {paths.paper_tool, "-P", request.printer, "-d", request.label, "-show", "1"});
    if (tool != RESULT_OK) return {tool};

    std::string id;
    if (Outcome found = find_format_id(paths.function_file, request.label, id); !found.ok())
        return found;
    if (Outcome done = rewrite_file(paths.function_file, drop_lines_with(id)); !done.ok())
        return done;
    // From here on the paper info file's entry names the identifier to remove.
    if (Outcome found = find_format_id(paths.paper_info_file, request.label, id); !found.ok())
        return found;
    if (Outcome done = rewrite_file(paths.paper_info_file, drop_lines_with(id)); !done.ok())
        return done;
    // A settings line that chose this format falls back to the driver's default media.
    const std::string_view reset = is_tape_model(request) ? "Media=zkS12mm\n" : "MediaSize=29X1\n";
    if (Outcome done = rewrite_file(paths.settings_file, replace_lines_with(id, reset)); !done.ok())
        return done;
    return rewrite_file(paths.imaging_area_file, drop_lines_with(id));
}
