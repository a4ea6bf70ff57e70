#include <cerrno>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_map>

#include "label/format_id.h"
#include "label/tape.h"
#include "label/units.h"
#include "store/line_reader.h"
#include "store/store.h"

namespace {

struct Dots {
    long long width = 0;
    long long length = 0;
};

// Calls `take` with each format entry line of `in`, its identifier, what that says, and
// the line from the name on. Returns 0 or the errno of a failed read.
template <typename Take>
int for_each_entry(InputFile& in, Take take) {
    Stretch stretch;
    long got;
    while ((got = next_stretch(in, kFormatIdTag, stretch)) > 0) {
        if (stretch.kind != Stretch::kMarked) continue;
        const std::string_view line = up_to_first_zero(stretch.bytes);
        const std::string_view id = entry_format_id(line);
        FormatIdFields fields;
        if (!read_format_id(id, fields)) continue;
        take(line, id, fields, line.substr(id.data() - line.data() + id.size() + 1));
    }
    return got < 0 ? in.error() : 0;
}

// Paper info sizes by "<identifier>/<name>", for those asked for: the first entry of each.
Outcome read_paper_info(const std::string& path, std::unordered_map<std::string, Dots>& sizes) {
    InputFile in;
    // Without the file, the identifiers' own sizes are all there is.
    if (const int error = in.open(path))
        return error == ENOENT ? Outcome{} : file_error(error, path);
    const int error = for_each_entry(in, [&](std::string_view, std::string_view id,
                                             const FormatIdFields& fields, std::string_view rest) {
        const auto name_length = static_cast<std::size_t>(fields.name_length);
        const std::string key = std::string(id) + "/" + std::string(rest.substr(0, name_length));
        const auto wanted = sizes.find(key);
        if (wanted == sizes.end() || wanted->second.width >= 0 || rest.size() < name_length) return;
        // "<name>:\t<width dots>\t<length dots>"
        Dots dots;
        if (std::sscanf(std::string(rest.substr(name_length)).c_str(), ":\t%lld\t%lld", &dots.width,
                        &dots.length) == 2)
            wanted->second = dots;
    });
    return error ? file_error(error, path) : Outcome{};
}

std::string without_padding(std::string_view media) {
    const std::size_t first = media.find_first_not_of('_');
    if (first == std::string_view::npos) return {};
    return std::string(media.substr(first, media.find_last_not_of('_') + 1 - first));
}

// The tape a width that fits its tape's printable width was sized for: that leaves no
// media in the identifier, but its printable dots in the paper info file.
std::string tape_without_media(std::int64_t width, long long width_dots) {
    for (bool heat_shrink : {false, true}) {
        const TapeRow* row = tape_row_for(width, heat_shrink);
        if (row && row->printable_mm >= width && row->printable_dots == width_dots)
            return without_padding(row->media);
    }
    return {};
}

}  // namespace

Outcome list_label_formats(const FormatRequest& request, const DriverPaths& paths,
                           std::vector<ListedFormat>& formats) {
    InputFile in;
    if (const int error = in.open(paths.function_file))
        return file_error(error, paths.function_file);
    std::vector<std::string> ids;
    std::unordered_map<std::string, Dots> sizes;
    const int error = for_each_entry(in, [&](std::string_view line, std::string_view id,
                                             const FormatIdFields& fields, std::string_view rest) {
        const std::string_view name = rest.substr(0, static_cast<std::size_t>(fields.name_length));
        // Only what a delete of that name would find.
        if (match_format_id(line, name) != id) return;
        formats.push_back({std::string(name), fields.width, fields.height_low_bits,
                           without_padding(fields.media)});
        ids.push_back(std::string(id) + "/" + std::string(name));
        sizes.emplace(ids.back(), Dots{-1, -1});
    });
    if (error) return file_error(error, paths.function_file);
    if (formats.empty()) return {};
    if (Outcome read = read_paper_info(paths.paper_info_file, sizes); !read.ok()) return read;

    for (std::size_t i = 0; i < formats.size(); ++i) {
        const Dots& dots = sizes[ids[i]];
        if (dots.width < 0) continue;
        ListedFormat& format = formats[i];
        if (!is_tape_model(request)) {
            format.length = roll_length(static_cast<int>(format.length), dots.length);
        } else if (format.tape.empty()) {
            format.tape = tape_without_media(format.width, dots.width);
        }
    }
    return {};
}
