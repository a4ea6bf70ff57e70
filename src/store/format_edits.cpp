#include "store/format_edits.h"

#include <cstdio>

#include "durable/line_reader.h"
#include "label/format_id.h"
#include "label/units.h"
#include "store/format_entry.h"

namespace {

constexpr LineDecision kDrop{LineDecision::kDrop, {}};

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

// The identifier a step takes out of the files, with the name whose lines go.
bool taken_out(const FormatStep& step, std::string_view& id) {
    id = step.kind == FormatStep::kAdd      ? step.old_id
         : step.kind == FormatStep::kDelete ? step.id
                                            : std::string_view();
    return !id.empty();
}

}  // namespace

int find_shared_ids(const std::string& function_file, const Plan& plan,
                    std::unordered_set<std::string>& shared) {
    std::unordered_map<std::string, std::vector<std::string_view>> leaving;
    for (const FormatStep& step : plan.steps) {
        if (std::string_view id; taken_out(step, id)) leaving[std::string(id)].push_back(step.name);
    }
    if (leaving.empty()) return 0;
    InputFile in;
    if (const int error = in.open(function_file)) return error;
    const std::string_view needle =
        leaving.size() == 1 ? std::string_view(leaving.begin()->first) : kFormatIdTag;
    Stretch stretch;
    long got;
    while ((got = next_stretch(in, needle, stretch)) > 0) {
        FormatEntry entry;
        const std::string_view line = up_to_first_zero(stretch.bytes);
        if (stretch.kind != Stretch::kMarked || is_comment_line(line) ||
            !read_format_entry(line, entry))
            continue;
        const auto found = leaving.find(std::string(entry.id));
        if (found == leaving.end()) continue;
        const auto& names = found->second;
        if (entry.key().empty() ||
            std::find(names.begin(), names.end(), entry.name()) == names.end())
            shared.insert(found->first);
    }
    return got < 0 ? in.error() : 0;
}

FormatEdits::FormatEdits(const Plan& plan, const FormatRequest& model,
                         const std::unordered_set<std::string>& shared)
    : tape_(is_tape_model(model)) {
    std::vector<std::string> paper_info, imaging_area;
    for (const FormatStep& step : plan.steps) {
        if (std::string_view id; taken_out(step, id)) {
            Taken& taken = taken_[std::string(id)];
            taken.names.push_back(step.name);
            taken.shared = shared.count(std::string(id)) > 0;
            if (step.kind == FormatStep::kAdd) taken.replaced_by = step.id;
        }
        if (step.kind != FormatStep::kAdd) continue;
        const FormatRequest request = step_request(model, plan, step);
        entries_ += step.id + "/" + step.name + "\n";
        paper_info.push_back(paper_info_line(request, step.id));
        imaging_area.push_back(imaging_area_line(request, step.id));
    }
    // The function file lists the newest first, the others last: an apply's formats come
    // out as that many single adds in the reverse order would leave them.
    for (auto line = paper_info.rbegin(); line != paper_info.rend(); ++line) paper_info_ += *line;
    for (auto line = imaging_area.rbegin(); line != imaging_area.rend(); ++line)
        imaging_area_ += *line;
    if (taken_.size() == 1) single_id_ = taken_.begin()->first;
}

Needles FormatEdits::needles(std::string_view also) const {
    // One identifier is searched for itself; many by the tag every one starts with.
    if (taken_.empty()) return Needles(also);
    return Needles(also, single_id_.empty() ? kFormatIdTag : std::string_view(single_id_));
}

// The format whose lines the plan takes out that `line` is one of, with its identifier
// in `id`; nullptr when the line stays. An entry is its format's by its identifier alone
// (its name is the user's text, which may even spell another identifier), and where
// another entry keeps the identifier, only by its name too; any other line by any
// taken identifier it holds whole that no other entry keeps.
const FormatEdits::Taken* FormatEdits::taken_by(std::string_view line, std::string_view& id) const {
    if (taken_.empty()) return nullptr;
    if (FormatEntry entry; read_format_entry(line, entry)) {
        const auto found = taken_.find(std::string(entry.id));
        if (found == taken_.end()) return nullptr;
        const Taken& taken = found->second;
        const bool named = !entry.key().empty() && std::find(taken.names.begin(), taken.names.end(),
                                                             entry.name()) != taken.names.end();
        id = entry.id;
        return !taken.shared || named ? &taken : nullptr;
    }
    if (!entry_format_id(line).empty()) return nullptr;
    for (std::size_t at = line.find(kFormatIdTag); at != std::string_view::npos;
         at = line.find(kFormatIdTag, at + 1)) {
        id = format_id_at(line.substr(at));
        const auto found = taken_.find(std::string(id));
        if (found != taken_.end() && !found->second.shared) return &found->second;
    }
    return nullptr;
}

LineFilter FormatEdits::function_file(int& marks) const {
    return {needles(kInsertionMark), [this, &marks](std::string_view line) {
                if (is_insertion_mark(line)) {
                    ++marks;
                    return LineDecision{LineDecision::kCopyThenAdd, entries_};
                }
                std::string_view id;
                return !is_comment_line(line) && taken_by(line, id) ? kDrop : LineDecision{};
            }};
}

LineFilter FormatEdits::paper_info(int& dropped) const {
    return {needles({}), [this, &dropped](std::string_view line) {
                std::string_view id;
                const bool ours = taken_by(line, id) != nullptr;
                dropped += ours;
                return ours ? kDrop : LineDecision{};
            }};
}

LineFilter FormatEdits::settings() const {
    return {needles({}), [this](std::string_view line) {
                std::string_view id;
                const Taken* taken = taken_by(line, id);
                if (!taken) return LineDecision{};
                if (taken->replaced_by.empty())
                    return LineDecision{LineDecision::kReplace,
                                        tape_ ? "Media=zkS12mm\n" : "MediaSize=29X1\n"};
                // The printer keeps its choice of the format, resized.
                const std::string old(id);
                settings_line_.assign(line.substr(0, line.find('\n')));
                for (std::size_t at; (at = settings_line_.find(old)) != std::string::npos;)
                    settings_line_.replace(at, old.size(), taken->replaced_by);
                settings_line_ += '\n';
                return LineDecision{LineDecision::kReplace, settings_line_};
            }};
}

LineFilter FormatEdits::imaging_area() const {
    return {needles({}), [this](std::string_view line) {
                std::string_view id;
                return taken_by(line, id) ? kDrop : LineDecision{};
            }};
}
