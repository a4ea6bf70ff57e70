#include <unistd.h>

#include <cerrno>
#include <string>

#include "durable/change_check.h"
#include "label/format_id.h"
#include "store/format_edits.h"
#include "store/format_lookup.h"
#include "store/paper_tool.h"
#include "store/store.h"

namespace {

bool exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0 || errno != ENOENT;
}

}  // namespace

Outcome delete_label_format(const FormatRequest& request, const DriverPaths& paths) {
    // The function file lists the format; the other files hold its lines by identifier.
    std::string id;
    const Outcome listed = find_format_id(paths.function_file, request.label, id);
    if (!listed.ok() && listed.result != RESULT_NOT_FOUND) return listed;
    // A driver without a paper info file still loses the format's other lines.
    const bool paper_info = exists(paths.paper_info_file);
    std::vector<std::string> changed = {paths.function_file, paths.settings_file,
                                        paths.imaging_area_file};
    if (paper_info) changed.push_back(paths.paper_info_file);
    if (listed.ok()) {
        if (Outcome checked = check_changeable(changed, 0); !checked.ok()) return checked;
    }

    const Outcome tool = run_paper_tool(delete_command(paths, request));
    if (!tool.ok() || !listed.ok()) return tool.ok() ? listed : tool;

    FileChange change;
    const std::string no_entry;
    int marks = 0;
    Outcome staged = change.stage(paths.function_file, editing_function_file(no_entry, id, marks));
    int paper_info_lines = 0;
    if (staged.ok() && paper_info) {
        const LineFilter counted{std::string_view(id), [&](std::string_view line) {
                                     const bool ours = refers_to_format(line, id);
                                     paper_info_lines += ours;
                                     return ours ? kDrop : LineDecision{};
                                 }};
        staged = change.stage(paths.paper_info_file, counted);
        // A paper info file without the format stays as it is.
        if (staged.ok() && paper_info_lines == 0) change.discard_last();
    }
    if (staged.ok())
        staged = change.stage(paths.settings_file, taking_out(id, settings_reset(request)));
    if (staged.ok()) staged = change.stage(paths.imaging_area_file, taking_out(id, kDrop));
    if (staged.ok()) staged = change.commit();
    if (!staged.ok()) {
        staged.aftermath = "the paper tool has already deleted the format";
        return staged;
    }
    return paper_info_lines > 0 ? Outcome{} : Outcome{RESULT_NOT_FOUND};
}
