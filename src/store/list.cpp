#include <cerrno>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_map>

#include "cli/options.h"
#include "store/format_id.h"
#include "store/line_reader.h"
#include "store/store.h"
#include "store/units.h"

namespace {

constexpr std::string_view kTag = "ZkL";
constexpr std::int64_t kHeightBits = 1 << 12;

struct Dots {
    long long width = 0;
    long long length = 0;
};

// Paper info sizes by identifier, for the identifiers asked for: the first entry of each.
Outcome read_paper_info(const std::string& path, std::unordered_map<std::string, Dots>& sizes) {
    InputFile in;
    if (const int error = in.open(path)) {
        // As for a delete: only a missing or unreadable file is no error.
        const bool refused = error == ELOOP || error == EISDIR || error == EINVAL;
        return refused ? file_error(error) : Outcome{};
    }
    Stretch stretch;
    long got;
    while ((got = next_stretch(in, kTag, stretch)) > 0) {
        if (stretch.kind != Stretch::kMarked) continue;
        const std::string_view line = up_to_first_zero(stretch.bytes);
        const std::string_view id = entry_format_id(line);
        FormatIdFields fields;
        const auto wanted = sizes.find(std::string(id));
        if (wanted == sizes.end() || wanted->second.width >= 0 || !read_format_id(id, fields))
            continue;
        // "<id>/<name>:\t<width dots>\t<length dots>"
        const std::size_t values = static_cast<std::size_t>(id.data() - line.data()) + id.size() +
                                   1 + static_cast<std::size_t>(fields.name_length);
        if (values > line.size()) continue;
        Dots dots;
        if (std::sscanf(std::string(line.substr(values)).c_str(), ":\t%lld\t%lld", &dots.width,
                        &dots.length) == 2)
            wanted->second = dots;
    }
    return got < 0 ? file_error(in.error()) : Outcome{};
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

// The whole length from the identifier's low 12 bits and the paper info's length dots,
// which are exact to a millimetre.
std::int64_t roll_length(int low_bits, long long length_dots) {
    const double near = kRollLengthMargin +
                        static_cast<double>(length_dots) * kMillimetresPerInch / kRollDotsPerInch;
    return low_bits + kHeightBits * std::llround((near - low_bits) / kHeightBits);
}

}  // namespace

Outcome list_label_formats(const FormatRequest& request, const DriverPaths& paths,
                           std::vector<ListedFormat>& formats) {
    InputFile in;
    if (const int error = in.open(paths.function_file)) return file_error(error);
    std::vector<std::string> ids;
    std::unordered_map<std::string, Dots> sizes;
    Stretch stretch;
    long got;
    while ((got = next_stretch(in, kTag, stretch)) > 0) {
        if (stretch.kind != Stretch::kMarked) continue;
        const std::string_view line = up_to_first_zero(stretch.bytes);
        const std::string_view id = entry_format_id(line);
        FormatIdFields fields;
        if (!read_format_id(id, fields)) continue;
        const std::size_t name_at =
            static_cast<std::size_t>(id.data() - line.data()) + id.size() + 1;
        const std::string_view name =
            line.substr(name_at, static_cast<std::size_t>(fields.name_length));
        // Only what a delete of that name would find.
        if (match_format_id(line, name) != id) continue;
        ListedFormat format{std::string(name), fields.width, fields.height_low_bits,
                            without_padding(fields.media)};
        formats.push_back(std::move(format));
        ids.emplace_back(id);
        sizes.emplace(id, Dots{-1, -1});
    }
    if (got < 0) return file_error(in.error());
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
