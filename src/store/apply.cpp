#include "store/apply.h"

#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "durable/line_reader.h"
#include "label/format_id.h"
#include "store/store.h"

namespace {

// Every whole identifier the driver's files hold, so that no new one repeats any.
void collect_ids(const DriverPaths& paths, std::unordered_set<std::string>& ids) {
    for (const std::string& path : paths.format_files()) {
        InputFile in;
        if (in.open(path) != 0) continue;
        Stretch stretch;
        while (next_stretch(in, kFormatIdTag, stretch) > 0) {
            if (stretch.kind != Stretch::kMarked) continue;
            const std::string_view line = up_to_first_zero(stretch.bytes);
            for (std::size_t at = line.find(kFormatIdTag); at != std::string_view::npos;
                 at = line.find(kFormatIdTag, at + 1))
                ids.emplace(format_id_at(line.substr(at)));
        }
    }
}

FormatStep step_for(const WantedFormat& format, const ListedFormat* old) {
    const FormatRequest& r = format.request;
    FormatStep step{FormatStep::kAdd, r.label, r.width, r.height, r.media,
                    r.print_dots,     {},      {},      0,        0};
    if (old) {
        step.old_id = old->id;
        step.old_width = old->width;
        step.old_height = old->length;
    }
    return step;
}

}  // namespace

Outcome plan_apply(const FormatRequest& model, const DriverPaths& paths,
                   const std::vector<WantedFormat>& wanted, bool prune, const timeval& now,
                   Plan& plan, std::vector<AppliedChange>& changes) {
    std::unordered_map<std::string_view, std::size_t> at;
    for (std::size_t i = 0; i < wanted.size(); ++i) at.emplace(wanted[i].request.label, i);
    // What a delete or a replace of each name finds: the first entry the driver lists.
    std::vector<std::optional<ListedFormat>> listed(wanted.size());
    std::vector<ListedFormat> unwanted;
    std::unordered_set<std::string> seen;
    const Outcome read = list_label_formats(model, paths, [&](const ListedFormat& format) {
        const auto found = at.find(format.name);
        if (found != at.end()) {
            if (!listed[found->second]) listed[found->second] = format;
        } else if (prune && seen.insert(format.name).second) {
            unwanted.push_back(format);
        }
    });
    if (!read.ok()) return read;
    std::unordered_set<std::string> ids;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const std::optional<ListedFormat>& old = listed[i];
        const FormatRequest& r = wanted[i].request;
        if (old && old->width == r.width && old->length == r.height && old->tape == wanted[i].tape)
            continue;
        if (ids.empty()) collect_ids(paths, ids);
        FormatStep step = step_for(wanted[i], old ? &*old : nullptr);
        step.id = build_format_id(r, now);
        // However still the clock stands, no two formats share an identifier.
        for (std::uint32_t tried = 0; ids.count(step.id) && tried < kFormatIdTimes; ++tried) {
            const std::int64_t time =
                time_field(std::string_view(step.id).substr(before_time_field(step.id).size()));
            step.id = with_time_field(step.id, static_cast<std::uint32_t>(time + 1));
        }
        ids.insert(step.id);
        plan.steps.push_back(std::move(step));
        changes.push_back({old ? AppliedChange::kReplaced : AppliedChange::kAdded, r.label});
    }
    for (const ListedFormat& format : unwanted) {
        plan.steps.push_back({FormatStep::kDelete,
                              format.name,
                              0,
                              0,
                              {},
                              0,
                              format.id,
                              {},
                              format.width,
                              format.length});
        changes.push_back({AppliedChange::kDeleted, format.name});
    }
    plan.printer = model.printer;
    return {};
}
