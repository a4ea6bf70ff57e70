#include <string>
#include <string_view>

#include "label/format_id.h"
#include "store/format_lookup.h"
#include "store/paper_tool.h"
#include "store/rewrite.h"
#include "store/store.h"

namespace {

// Decides `taken_out` for every line that refers to the format `id`, which must
// outlive the filter.
LineFilter take_out(const std::string& id, LineDecision taken_out) {
    return {id, [&id, taken_out](std::string_view line) {
                return refers_to_format(line, id) ? taken_out : LineDecision{};
            }};
}

constexpr LineDecision kDrop{LineDecision::kDrop, {}};

}  // namespace

Outcome delete_label_format(const FormatRequest& request, const DriverPaths& paths) {
    const Outcome tool = run_paper_tool(
        {paths.paper_tool, "-P", request.printer, "-d", request.label, "-show", "1"});
    if (!tool.ok()) return tool;

    std::string listed_id;
    if (Outcome found = find_format_id(paths.function_file, request.label, listed_id); !found.ok())
        return found;
    FileChange change;
    if (Outcome staged = change.stage(paths.function_file, take_out(listed_id, kDrop));
        !staged.ok())
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
    if (Outcome staged = change.stage(paths.paper_info_file, take_out(id, kDrop)); !staged.ok())
        return staged;
    if (Outcome staged =
            change.stage(paths.settings_file, take_out(id, {LineDecision::kReplace, reset}));
        !staged.ok())
        return staged;
    if (Outcome staged = change.stage(paths.imaging_area_file, take_out(id, kDrop)); !staged.ok())
        return staged;
    return change.commit();
}
