#include <cstdio>
#include <string>
#include <string_view>

#include "label/format_id.h"
#include "label/units.h"
#include "store/format_lookup.h"
#include "store/paper_tool.h"
#include "store/rewrite.h"
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

constexpr std::string_view kInsertionMark = "[CustomTape]";

}  // namespace

Outcome add_label_format(const FormatRequest& request, const DriverPaths& paths,
                         const timeval& now) {
    std::string id = build_format_id(request, now);
    // A format deleted from the function file alone still holds its identifier in the
    // other files.
    if (Outcome chosen = choose_unused_format_id(paths.format_files(), id); !chosen.ok())
        return chosen;
    const Outcome tool =
        run_paper_tool({paths.paper_tool, "-P", request.printer, "-n", request.label, "-w",
                        std::to_string(request.width), "-h", std::to_string(request.height),
                        "-specid", id, "-show", "1"});
    if (!tool.ok()) return tool;

    const std::string entry = id + "/" + request.label + "\n";
    // The driver's own mark, never a format entry whose name happens to hold it.
    const LineFilter after_mark{
        kInsertionMark, [&entry](std::string_view line) {
            const bool mark = line.find(kInsertionMark) != std::string_view::npos &&
                              entry_format_id(line).empty();
            return mark ? LineDecision{LineDecision::kCopyThenAdd, entry} : LineDecision{};
        }};
    FileChange change;
    if (Outcome staged = change.stage(paths.function_file, after_mark); !staged.ok()) return staged;
    if (Outcome staged =
            change.stage(paths.paper_info_file, kCopyAll, paper_info_line(request, id));
        !staged.ok())
        return staged;
    if (Outcome staged =
            change.stage(paths.imaging_area_file, kCopyAll, imaging_area_line(request, id));
        !staged.ok())
        return staged;
    return change.commit();
}
