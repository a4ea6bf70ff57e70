#include <fcntl.h>

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "durable/commit_record.h"
#include "durable/unique_fd.h"
#include "label/tape.h"
#include "label/units.h"
#include "store/format_entry.h"
#include "store/paper_info_sizes.h"
#include "store/store.h"

namespace {

// How many formats may wait behind one whose sizes need a read of the whole paper info
// file; one such read serves them all.
constexpr std::size_t kMostWaiting = 4096;

// What the paper info file adds to what the identifier says: a roll's whole length, the
// tape of a tape format without media.
void complete(ListedFormat& format, bool tape, const Dots& dots) {
    if (!tape) {
        format.length = roll_length(static_cast<int>(format.length), dots.length);
    } else if (format.tape.empty()) {
        format.tape = listed_tape(format.width, {}, dots.width);
    }
}

// Hands formats on in the function file's order, holding them back behind one whose
// sizes only a read of the whole paper info file finds.
class InOrder {
public:
    InOrder(bool tape, PaperInfoSizes& sizes, const ListTake& take)
        : tape_(tape), sizes_(sizes), take_(take) {}

    // `key` is empty when the paper info file has nothing to add. Its sizes are looked
    // up a few formats later, what that needs fetched from memory meanwhile.
    Outcome add(ListedFormat format, std::string_view key) {
        Ahead& slot = ahead_[added_++ % kAhead];
        if (added_ > kAhead) {
            if (Outcome looked_up = look_up(slot); !looked_up.ok()) return looked_up;
        }
        slot.format = std::move(format);
        slot.key.assign(key);
        if (!key.empty()) slot.place = sizes_.expect(key);
        return {};
    }

    // Hands on every format left.
    Outcome finish() {
        for (std::size_t i = added_ > kAhead ? added_ - kAhead : 0; i < added_; ++i) {
            if (Outcome looked_up = look_up(ahead_[i % kAhead]); !looked_up.ok()) return looked_up;
        }
        return release();
    }

private:
    static constexpr std::size_t kAhead = 8;
    struct Ahead {
        ListedFormat format;
        std::string key;
        PaperInfoSizes::Place place;
    };

    Outcome look_up(Ahead& slot) {
        ListedFormat format = std::move(slot.format);
        const std::string_view key = slot.key;
        Dots dots;
        const PaperInfoSizes::Found found =
            key.empty() ? PaperInfoSizes::Found::kNo : sizes_.find(key, slot.place, dots);
        if (sizes_.error()) return file_error(sizes_.error(), sizes_.path());
        if (found == PaperInfoSizes::Found::kYes) complete(format, tape_, dots);
        if (found != PaperInfoSizes::Found::kLater && waiting_.empty()) {
            take_(format);
            return {};
        }
        waiting_.push_back({std::move(format), found == PaperInfoSizes::Found::kLater
                                                   ? std::string(key)
                                                   : std::string()});
        return waiting_.size() < kMostWaiting ? Outcome{} : release();
    }

    Outcome release() {
        if (waiting_.empty()) return {};
        PaperInfoSizes::Wanted wanted;
        for (const Waiting& held : waiting_) {
            if (!held.key.empty()) wanted.emplace(held.key, std::nullopt);
        }
        if (const int error = sizes_.find_all(wanted)) return file_error(error, sizes_.path());
        for (Waiting& held : waiting_) {
            if (held.key.empty()) {
                take_(held.format);
                continue;
            }
            if (const std::optional<Dots>& dots = wanted[held.key])
                complete(held.format, tape_, *dots);
            take_(held.format);
        }
        waiting_.clear();
        return {};
    }

    struct Waiting {
        ListedFormat format;
        std::string key;  // empty when its sizes are known
    };

    const bool tape_;
    PaperInfoSizes& sizes_;
    const ListTake& take_;
    Ahead ahead_[kAhead];
    std::size_t added_ = 0;
    std::vector<Waiting> waiting_;
};

std::string file_name(const std::string& path, const DriverPaths& paths) {
    return path.substr(paths.inf_dir.size() + 1);
}

}  // namespace

Outcome list_label_formats(const FormatRequest& request, const DriverPaths& driver,
                           const ListTake& take) {
    // A change a killed run committed and this reader may not finish is read from where
    // its record says the committed files are, never half old, half new.
    DriverPaths paths = driver;
    if (const UniqueFd folder(::open(paths.inf_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        folder.valid()) {
        const std::vector<std::string> names = committed_names(
            folder.get(),
            {file_name(paths.function_file, paths), file_name(paths.paper_info_file, paths)});
        paths.function_file = paths.inf_dir + "/" + names[0];
        paths.paper_info_file = paths.inf_dir + "/" + names[1];
    }
    InputFile in;
    if (const int error = in.open(paths.function_file))
        return file_error(error, paths.function_file);
    const bool tape = is_tape_model(request);
    PaperInfoSizes sizes(tape);
    InOrder in_order(tape, sizes, take);
    bool opened = false;
    Outcome outcome;
    const int error = for_each_entry(
        in,
        [&](const FormatEntry& entry) {
            // Only what a delete of that name would find.
            if (entry.key().empty()) return true;
            // Before anything is listed, as the paper info file may not be read at all.
            if (!opened) {
                opened = true;
                if (outcome = sizes.open(paths.paper_info_file); !outcome.ok()) return false;
            }
            ListedFormat format{std::string(entry.name()), entry.fields.width,
                                entry.fields.height_low_bits, without_padding(entry.fields.media),
                                std::string(entry.id)};
            const bool sized_by_paper_info = !tape || format.tape.empty();
            outcome = in_order.add(std::move(format), sized_by_paper_info ? entry.key() : "");
            return outcome.ok();
        },
        true);
    if (error) return file_error(error, paths.function_file);
    return outcome.ok() ? in_order.finish() : outcome;
}
