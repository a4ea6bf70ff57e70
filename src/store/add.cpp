#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "durable/change_check.h"
#include "label/format_id.h"
#include "label/units.h"
#include "store/format_edits.h"
#include "store/format_lookup.h"
#include "store/paper_tool.h"
#include "store/store.h"

namespace {

std::string paper_info_line(const FormatRequest& request, const std::string& id) {
    int width_dots = static_cast<int>(request.print_dots);
    int length_dots = to_dots(static_cast<double>(request.height), kTapeDotsPerInch);
    if (!is_tape_model(request)) {
        width_dots =
            to_dots(static_cast<double>(request.width - kRollWidthMargin), kRollDotsPerInch);
        length_dots =
            to_dots(static_cast<double>(request.height - kRollLengthMargin), kRollDotsPerInch);
    }
    char line[256];
    std::snprintf(line, sizeof line, ":\t%d\t%d\n", width_dots, length_dots);
    return id + "/" + request.label + line;
}

std::string imaging_area_line(const FormatRequest& request, const std::string& id) {
    char line[256];
    std::snprintf(line, sizeof line, ":\t%.2f\t%.2f\t%.2f\t%.2f\n", 0.0, 0.0,
                  static_cast<double>(request.print_dots) / kTapeDotsPerInch * kPointsPerInch,
                  static_cast<double>(request.height) / kMillimetresPerInch * kPointsPerInch);
    return id + line;
}

// After the paper tool refused the new format of a replace, registers the old one again,
// as the files still hold it, so that both sides agree.
void register_again(const FormatRequest& request, const DriverPaths& paths,
                    const std::string& old_id, Outcome& failed) {
    const FormatSize old = find_format_size(paths.paper_info_file, is_tape_model(request), old_id);
    failed.aftermath =
        run_paper_tool(add_command(paths, request, old.width, old.length, old_id)).ok()
            ? "the old format is registered again"
            : "registering the old format again failed too";
}

}  // namespace

Outcome add_label_format(const FormatRequest& request, const DriverPaths& paths,
                         const timeval& now) {
    // An add of a name the driver lists replaces that format, in the same one change.
    std::string old_id;
    if (Outcome listed = find_format_id(paths.function_file, request.label, old_id);
        !listed.ok() && listed.result != RESULT_NOT_FOUND)
        return listed;
    int marks = 0;
    if (Outcome marked = find_insertion_mark(paths.function_file, marks); !marked.ok())
        return marked;
    std::string id = build_format_id(request, now);
    // A format deleted from the function file alone still holds its identifier in the
    // other files.
    if (Outcome chosen = choose_unused_format_id(paths.format_files(), id); !chosen.ok())
        return chosen;
    const std::string entry = id + "/" + request.label + "\n";
    const std::string paper_info = paper_info_line(request, id);
    const std::string imaging_area = imaging_area_line(request, id);
    std::vector<std::string> changed = {paths.function_file, paths.paper_info_file,
                                        paths.imaging_area_file};
    if (!old_id.empty()) changed.push_back(paths.settings_file);
    // Each mark gets an entry; no file grows by more than the function file may.
    const std::size_t growth =
        std::max(static_cast<std::size_t>(marks) * entry.size(), imaging_area.size());
    if (Outcome checked = check_changeable(changed, std::max(growth, paper_info.size()));
        !checked.ok())
        return checked;

    if (Outcome deleted = run_paper_tool(delete_command(paths, request)); !deleted.ok())
        return deleted;
    if (Outcome added =
            run_paper_tool(add_command(paths, request, request.width, request.height, id));
        !added.ok()) {
        if (!old_id.empty()) register_again(request, paths, old_id, added);
        return added;
    }

    FileChange change;
    int inserted = 0;
    Outcome staged =
        change.stage(paths.function_file, editing_function_file(entry, old_id, inserted));
    // The paper tool may have changed the function file since the mark was found.
    if (staged.ok() && inserted == 0) staged = no_insertion_mark(paths.function_file);
    if (staged.ok())
        staged = change.stage(paths.paper_info_file, taking_out(old_id, kDrop), paper_info);
    if (staged.ok() && !old_id.empty())
        staged = change.stage(paths.settings_file, taking_out(old_id, settings_reset(request)));
    if (staged.ok())
        staged = change.stage(paths.imaging_area_file, taking_out(old_id, kDrop), imaging_area);
    if (staged.ok()) staged = change.commit();
    if (!staged.ok()) staged.aftermath = "the paper tool has already registered the format";
    return staged;
}
