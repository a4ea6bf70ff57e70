#include "store/format_lookup.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <unordered_set>

#include "durable/line_reader.h"
#include "label/format_id.h"
#include "label/units.h"

namespace {

// Adds the time field values that whole identifiers starting with `prefix` hold in
// `path` to `taken`.
void find_taken_times(const std::string& path, std::string_view prefix,
                      std::unordered_set<std::uint32_t>& taken) {
    InputFile in;
    if (in.open(path) != 0) return;
    Stretch stretch;
    while (next_stretch(in, prefix, stretch) > 0) {
        if (stretch.kind != Stretch::kMarked) continue;
        const std::string_view line = up_to_first_zero(stretch.bytes);
        for (std::size_t at = line.find(prefix); at != std::string_view::npos;
             at = line.find(prefix, at + 1)) {
            const std::int64_t time = time_field(line.substr(at + prefix.size()));
            if (time >= 0) taken.insert(static_cast<std::uint32_t>(time));
        }
    }
}

}  // namespace

Outcome find_format_id(const std::string& path, std::string_view name, std::string& id,
                       int* marks) {
    InputFile in;
    // A driver without the file holds no format; one we may not read may hold it, and
    // "Not found" would then be a failure reported as success.
    if (const int error = in.open(path))
        return error == ENOENT ? Outcome{RESULT_NOT_FOUND} : file_error(error, path);
    Stretch stretch;
    long got;
    if (marks) *marks = 0;
    // A line that carries the name holds it, so only those are looked at; counting the
    // marks too saves an add a second read of the file.
    while ((got = next_stretch(in, {name, marks ? kInsertionMark : std::string_view()}, stretch)) >
           0) {
        if (stretch.kind != Stretch::kMarked || is_comment_line(stretch.bytes)) continue;
        if (marks && is_insertion_mark(stretch.bytes)) ++*marks;
        if (!id.empty()) continue;
        if (const std::string_view found = match_format_id(stretch.bytes, name); !found.empty()) {
            id = found;
            if (!marks) return {};
        }
    }
    if (got < 0) return file_error(in.error(), path);
    return id.empty() ? Outcome{RESULT_NOT_FOUND} : Outcome{};
}

Outcome choose_unused_format_id(const std::vector<std::string>& paths, std::string& id) {
    const std::string prefix(before_time_field(id));
    std::unordered_set<std::uint32_t> taken;
    for (const std::string& path : paths) find_taken_times(path, prefix, taken);
    auto time = static_cast<std::uint32_t>(time_field(std::string_view(id).substr(prefix.size())));
    for (std::uint32_t tried = 0; taken.count(time); ++tried) {
        if (tried == kFormatIdTimes) return file_error(EEXIST, paths.front());
        time = (time + 1) % kFormatIdTimes;
    }
    id = with_time_field(id, time);
    return {};
}

Outcome find_insertion_mark(const std::string& path, int& marks) {
    InputFile in;
    if (const int error = in.open(path)) return file_error(error, path);
    Stretch stretch;
    long got;
    marks = 0;
    while ((got = next_stretch(in, kInsertionMark, stretch)) > 0)
        marks += stretch.kind == Stretch::kMarked && is_insertion_mark(stretch.bytes);
    if (got < 0) return file_error(in.error(), path);
    return marks > 0 ? Outcome{} : no_insertion_mark(path);
}

Outcome no_insertion_mark(const std::string& path) {
    Outcome none = file_error(0, path);
    none.why = "no [CustomTape] line to add the format after";
    return none;
}

FormatSize find_format_size(const std::string& paper_info_file, bool tape, std::string_view id) {
    // What the identifier says, read as the entry line it starts.
    const std::string bare = std::string(id) + "/";
    FormatEntry entry;
    if (!read_format_entry(bare, entry)) return {};
    FormatSize size{entry.fields.width, entry.fields.height_low_bits};
    InputFile in;
    if (tape || in.open(paper_info_file) != 0) return size;
    Stretch stretch;
    while (next_stretch(in, id, stretch) > 0) {
        // "<identifier>/<name>:\t<width dots>\t<length dots>"
        long long width_dots = 0, length_dots = 0;
        if (stretch.kind == Stretch::kMarked && read_format_entry(stretch.bytes, entry) &&
            entry.id == id && !entry.key().empty() &&
            std::sscanf(std::string(entry.rest.substr(entry.name().size())).c_str(),
                        ":\t%lld\t%lld", &width_dots, &length_dots) == 2) {
            size.length = roll_length(entry.fields.height_low_bits, length_dots);
            break;
        }
    }
    return size;
}
