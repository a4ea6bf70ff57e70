#include "store/apply.h"

#include <algorithm>
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
    FormatStep step{FormatStep::kAdd,
                    format.name,
                    format.width,
                    format.height,
                    format.media,
                    format.print_dots,
                    {},
                    {},
                    0,
                    0};
    if (old) {
        step.old_id = old->id;
        step.old_width = old->width;
        step.old_height = old->length;
    }
    return step;
}

}  // namespace

FormatRequest WantedFormat::request(const FormatRequest& model) const {
    FormatRequest request = model;
    request.label = name;
    request.media = media;
    request.width = width;
    request.height = height;
    request.print_dots = print_dots;
    return request;
}

Outcome plan_apply(const FormatRequest& model, const DriverPaths& paths,
                   const std::vector<WantedFormat>& wanted, bool prune, const timeval& now,
                   Plan& plan, std::vector<AppliedChange>& changes) {
    // A file made from the listing names the formats in the listing's order: most are
    // found at the next place, and the look-up table is built only when one is not.
    std::size_t next = 0;
    std::unordered_map<std::string_view, std::size_t> at;
    const auto place = [&](std::string_view name) {
        if (next < wanted.size() && wanted[next].name == name) return next++;
        if (at.empty()) {
            at.reserve(wanted.size());
            for (std::size_t i = 0; i < wanted.size(); ++i) at.emplace(wanted[i].name, i);
        }
        const auto found = at.find(name);
        return found == at.end() ? wanted.size() : found->second;
    };
    // What a delete or a replace of each name finds: the first entry the driver lists. A
    // format listed the same is only marked; only one that differs is kept.
    enum : char { kUnlisted, kSame, kDiffers };
    std::vector<char> state(wanted.size(), kUnlisted);
    std::vector<std::pair<std::size_t, ListedFormat>> differing;
    std::vector<ListedFormat> unwanted;
    std::unordered_set<std::string> seen;
    const Outcome read = list_label_formats(model, paths, [&](const ListedFormat& format) {
        if (const std::size_t i = place(format.name); i < wanted.size()) {
            if (state[i] != kUnlisted) return;
            const WantedFormat& w = wanted[i];
            state[i] =
                format.width == w.width && format.length == w.height && format.tape == w.tape()
                    ? kSame
                    : kDiffers;
            if (state[i] == kDiffers) differing.emplace_back(i, format);
        } else if (prune && seen.insert(format.name).second) {
            unwanted.push_back(format);
        }
    });
    if (!read.ok()) return read;
    std::sort(differing.begin(), differing.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    auto old = differing.begin();
    std::unordered_set<std::string> ids;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        if (state[i] == kSame) continue;
        const ListedFormat* listed = state[i] == kDiffers ? &(old++)->second : nullptr;
        const FormatRequest r = wanted[i].request(model);
        if (ids.empty()) collect_ids(paths, ids);
        FormatStep step = step_for(wanted[i], listed);
        step.id = build_format_id(r, now);
        // However still the clock stands, no two formats share an identifier.
        for (std::uint32_t tried = 0; ids.count(step.id) && tried < kFormatIdTimes; ++tried) {
            const std::int64_t time =
                time_field(std::string_view(step.id).substr(before_time_field(step.id).size()));
            step.id = with_time_field(step.id, static_cast<std::uint32_t>(time + 1));
        }
        ids.insert(step.id);
        plan.steps.push_back(std::move(step));
        changes.push_back({listed ? AppliedChange::kReplaced : AppliedChange::kAdded, r.label});
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
