#include <cstdio>
#include <string>
#include <string_view>

#include "store/format_id.h"
#include "store/paper_tool.h"
#include "store/rewrite.h"
#include "store/store.h"

namespace {

// The driver's own figure, not 25.4; its dot tables were made with it.
constexpr double kMillimetresPerInch = 25.43859649;
constexpr double kRollDotsPerInch = 300;
constexpr double kTapeDotsPerInch = 180;
constexpr double kPointsPerInch = 72;

int to_dots(double millimetres, double dots_per_inch) {
    return static_cast<int>(millimetres / kMillimetresPerInch * dots_per_inch);
}

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

}  // namespace

Outcome add_label_format(const FormatRequest& request, const DriverPaths& paths,
                         const timeval& now) {
    const std::string id = build_format_id(request, now);
    const Result tool =
        run_paper_tool({paths.paper_tool, "-P", request.printer, "-n", request.label, "-w",
                        std::to_string(request.width), "-h", std::to_string(request.height),
                        "-specid", id, "-show", "1"});
    if (tool != RESULT_OK) return {tool};

    const std::string entry = id + "/" + request.label + "\n";
    const LineFilter after_custom_tape = [&entry](std::string_view line) {
        return line.find("[CustomTape]") != std::string_view::npos
                   ? LineDecision{LineDecision::kCopyThenAdd, entry}
                   : LineDecision{};
    };
    if (Outcome done = rewrite_file(paths.function_file, after_custom_tape); !done.ok())
        return done;
    if (Outcome done = rewrite_file(paths.paper_info_file, copy_all, paper_info_line(request, id));
        !done.ok())
        return done;
    return rewrite_file(paths.imaging_area_file, copy_all, imaging_area_line(request, id));
}
