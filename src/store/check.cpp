#include "store/check.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "durable/commit_record.h"
#include "durable/line_reader.h"
#include "durable/unique_fd.h"
#include "label/format_id.h"
#include "store/key_counts.h"
#include "store/paper_info_sizes.h"

namespace {

constexpr auto npos = std::string_view::npos;

// Every line is looked at several times: these loops are far cheaper than
// find_first_not_of, which searches the set for each character.
bool is_blank(std::string_view text) {
    for (const char c : text) {
        if (c != ' ' && c != '\t' && c != '\r') return false;
    }
    return true;
}

bool starts_with_tag(std::string_view text) {
    return text.size() >= kFormatIdTag.size() && text[0] == kFormatIdTag[0] &&
           text[1] == kFormatIdTag[1] && text[2] == kFormatIdTag[2];
}

// Where the line's first tag stands; the tool's own lines start with it.
std::size_t find_tag(std::string_view line) {
    return starts_with_tag(line) ? 0 : line.find(kFormatIdTag);
}

// Moves `text` past a number of an imaging area line ("0.00"): blanks, a sign, digits
// with a decimal point among them.
bool skip_number(std::string_view& text) {
    const char* at = text.data();
    const char* const end = at + text.size();
    while (at < end && (*at == ' ' || *at == '\t')) ++at;
    if (at < end && (*at == '-' || *at == '+')) ++at;
    bool digits = false;
    for (; at < end; ++at) {
        const bool digit = static_cast<unsigned>(*at - '0') < 10;
        if (!digit && *at != '.') break;
        digits |= digit;
    }
    if (!digits) return false;
    text.remove_prefix(static_cast<std::size_t>(at - text.data()));
    return true;
}

// Moves `text` past the area after an imaging area line's identifier: ":" and four
// numbers (left, bottom, right, top).
bool skip_area(std::string_view& text) {
    if (text.empty() || text[0] != ':') return false;
    std::string_view rest = text.substr(1);
    for (int i = 0; i < 4; ++i) {
        if (!skip_number(rest)) return false;
    }
    text = rest;
    return true;
}

// The format a line's problem concerns.
struct About {
    std::string_view id, name;
};

// A line that holds a tag but no whole entry: which identifier it holds, if any.
CheckProblem unreadable(std::string_view line, std::size_t tag, About& about) {
    about = {format_id_at(line.substr(tag)), {}};
    return about.id.empty() ? CheckProblem::kUnreadableId : CheckProblem::kNoName;
}

bool read_whole_entry(std::string_view text, FormatEntry& entry) {
    return read_format_entry(text, entry) && !entry.key().empty();
}

// Hands each format entry of a function file line to `each`: the one at its first tag
// and any glued on right after a name (a join whose split is certain). Returns the
// problem of the line's shape, if any, and what it concerns in `about`.
template <typename Each>
std::optional<CheckProblem> read_function_line(std::string_view line, About& about, Each each) {
    const std::size_t tag = find_tag(line);
    if (tag == npos) return std::nullopt;
    FormatEntry entry;
    if (!read_whole_entry(line.substr(tag), entry)) return unreadable(line, tag, about);
    about = {entry.id, entry.name()};
    bool joined = !is_blank(line.substr(0, tag));
    for (;;) {
        each(entry);
        const std::string_view after = entry.rest.substr(entry.name().size());
        if (is_blank(after)) break;
        joined = true;
        if (!starts_with_tag(after) || !read_whole_entry(after, entry)) break;
    }
    return joined ? std::optional(CheckProblem::kJoined) : std::nullopt;
}

// The same for a paper info line, whose entries hold sizes after the name.
template <typename Each>
std::optional<CheckProblem> read_paper_info_line(std::string_view line, About& about, Each each) {
    const std::size_t tag = find_tag(line);
    if (tag == npos) return std::nullopt;
    FormatEntry entry;
    if (!read_whole_entry(line.substr(tag), entry)) return unreadable(line, tag, about);
    about = {entry.id, entry.name()};
    Dots dots;
    std::string_view after;
    if (!read_dots(entry.rest.substr(entry.name().size()), dots, &after))
        return CheckProblem::kNoSizes;
    bool joined = !is_blank(line.substr(0, tag));
    for (;;) {
        each(entry);
        if (is_blank(after)) break;
        joined = true;
        if (!starts_with_tag(after) || !read_whole_entry(after, entry) ||
            !read_dots(entry.rest.substr(entry.name().size()), dots, &after))
            break;
    }
    return joined ? std::optional(CheckProblem::kJoined) : std::nullopt;
}

// The same for an imaging area line, "<identifier>:" and the area; `each` takes the
// identifiers.
template <typename Each>
std::optional<CheckProblem> read_imaging_area_line(std::string_view line, About& about, Each each) {
    const std::size_t tag = find_tag(line);
    if (tag == npos) return std::nullopt;
    std::string_view id = format_id_at(line.substr(tag));
    about = {id, {}};
    if (id.empty()) return CheckProblem::kUnreadableId;
    std::string_view after = line.substr(tag + id.size());
    if (!skip_area(after)) return CheckProblem::kNoSizes;
    bool joined = !is_blank(line.substr(0, tag));
    for (;;) {
        each(id);
        if (is_blank(after)) break;
        joined = true;
        id = format_id_at(after);
        if (id.empty()) break;
        after.remove_prefix(id.size());
        if (!skip_area(after)) break;
    }
    return joined ? std::optional(CheckProblem::kJoined) : std::nullopt;
}

enum class FileState { kReadable, kMissing, kNotRegular };

// Calls `take(number, line)` with each line of `in` whose first piece holds a needle,
// but for comments; the line up to its newline or first zero byte. Returns 0 or the
// errno of a failed read.
template <typename Take>
int for_each_line(InputFile& in, Needles needles, Take take) {
    Stretch stretch;
    long got;
    long number = 1;
    while ((got = next_stretch(in, needles, stretch)) > 0) {
        if (stretch.kind == Stretch::kMarked) {
            std::string_view line = stretch.bytes;
            if (line.back() == '\n') line.remove_suffix(1);
            line = up_to_first_zero(line);
            if (!is_comment_line(line)) take(number, line);
        }
        // A line's pieces end at its newline; only a plain stretch holds more.
        number += stretch.kind == Stretch::kPlain
                      ? std::count(stretch.bytes.begin(), stretch.bytes.end(), '\n')
                      : stretch.bytes.back() == '\n';
    }
    return got < 0 ? in.error() : 0;
}

// Settles each item queued kAhead items later, so that what it looks up in the filters
// is fetched from memory meanwhile; their bits spread over megabytes.
template <typename Item, typename Settle>
class Ahead {
public:
    explicit Ahead(Settle settle) : settle_(settle) {}
    // The slot to fill with the next item.
    Item& next() {
        Item& slot = ring_[queued_++ % kAhead];
        if (queued_ > kAhead) settle_(slot);
        return slot;
    }
    void finish() {
        for (std::size_t i = queued_ > kAhead ? queued_ - kAhead : 0; i < queued_; ++i)
            settle_(ring_[i % kAhead]);
        queued_ = 0;
    }

private:
    static constexpr std::size_t kAhead = 16;
    Item ring_[kAhead];
    std::size_t queued_ = 0;
    Settle settle_;
};

class Check {
public:
    Check(const DriverPaths& paths, const CheckTake& take) : paths_(paths), take_(take) {}

    Outcome run() {
        Outcome outcome = leftovers();
        // First what each file holds, then each file against the others, in order.
        // The paper info file is read before the function file's problems are reported (they
        // need its formats) and its own problems held until then.
        for (Outcome (Check::*step)() :
             {&Check::count_function_file, &Check::read_paper_info, &Check::report_function_file,
              &Check::flush_paper_info, &Check::report_settings, &Check::read_imaging_area,
              &Check::flush_imaging_area}) {
            if (outcome.ok()) outcome = (this->*step)();
        }
        return outcome;
    }

private:
    void report(std::string_view path, long line, CheckProblem problem, About about = {},
                long kept_line = 0) {
        take_({path, line, problem, about.id, about.name, kept_line, check_problem_text(problem)});
    }

    Outcome leftovers() {
        const UniqueFd folder(::open(paths_.inf_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!folder.valid()) return file_error(errno, paths_.inf_dir);
        std::vector<std::pair<std::string, Leftover>> found;
        if (const int error = for_each_leftover(
                folder.get(), paths_.format_file_names(),
                [&found](std::string_view name, Leftover kind) { found.emplace_back(name, kind); }))
            return file_error(error, paths_.inf_dir);
        std::sort(found.begin(), found.end());
        for (const auto& [name, kind] : found) {
            report(paths_.inf_dir + "/" + name, 0,
                   kind == Leftover::kCommitRecord      ? CheckProblem::kUnfinishedChange
                   : kind == Leftover::kOperationRecord ? CheckProblem::kUndoneOperation
                                                        : CheckProblem::kTemporaryFile);
        }
        return {};
    }

    // Reads the lines of `path` that hold a needle into `take`, the first time setting
    // `state`; a file that is missing or not regular is read as empty.
    template <typename Take>
    Outcome read(const std::string& path, Needles needles, FileState& state, Take take) {
        InputFile in;
        const int error = in.open(path);
        state = error == ENOENT                                        ? FileState::kMissing
                : error == ELOOP || error == EISDIR || error == EINVAL ? FileState::kNotRegular
                                                                       : FileState::kReadable;
        if (state != FileState::kReadable) return {};
        if (error) return file_error(error, path);
        if (const int failed = for_each_line(in, needles, take)) return file_error(failed, path);
        return {};
    }

    void report_state(const std::string& path, FileState state) {
        if (state != FileState::kReadable)
            report(path, 0,
                   state == FileState::kMissing ? CheckProblem::kMissing
                                                : CheckProblem::kNotRegularFile);
    }

    static KeyCounts::Count count_of(const KeyCounts& counts, std::string_view text) {
        return counts.count(KeyCounts::Bits(text));
    }
    bool listed_id(std::string_view id) const {
        return function_ != FileState::kReadable || count_of(ids_, id) != KeyCounts::kNone;
    }

    Outcome count_function_file() {
        struct Counted {
            KeyCounts::Bits name, id, key;
        };
        const auto settle = [this](const Counted& counted) {
            repeats_ |= names_.count(counted.name) != KeyCounts::kNone ||
                        ids_.count(counted.id) != KeyCounts::kNone;
            distinct_keys_ += keys_.count(counted.key) == KeyCounts::kNone;
            names_.add(counted.name);
            ids_.add(counted.id);
            keys_.add(counted.key);
        };
        Ahead<Counted, decltype(settle)> ahead(settle);
        const Outcome outcome = read(
            paths_.function_file, {kFormatIdTag, kInsertionMark}, function_,
            [&](long number, std::string_view line) {
                About about;
                bool entry_line = false;
                const auto shape = read_function_line(line, about, [&](const FormatEntry& entry) {
                    entry_line = true;
                    Counted& counted = ahead.next();
                    counted = {names_.locate(entry.name()), ids_.locate(entry.id),
                               keys_.locate(entry.key())};
                });
                // An entry's line is no mark, whatever its name holds.
                if (!entry_line && is_insertion_mark(line)) {
                    ++marks_;
                } else if (shape) {
                    hold(function_held_, number, *shape, about);
                }
            });
        ahead.finish();
        return outcome;
    }

    // One read of the paper info file: its formats counted for the function file's
    // check, its own problems held for later.
    Outcome read_paper_info() {
        struct Seen {
            KeyCounts::Bits bits;
            long line;
            std::string key;
            std::size_t id_length;
        };
        const auto settle = [this](const Seen& seen) {
            const bool again = paper_keys_.count(seen.bits) != KeyCounts::kNone;
            paper_keys_.add(seen.bits);
            const std::string_view key = seen.key;
            const About of{key.substr(0, seen.id_length), key.substr(seen.id_length + 1)};
            if (function_ == FileState::kReadable && keys_.count(seen.bits) == KeyCounts::kNone) {
                hold(paper_held_, seen.line, CheckProblem::kOrphan, of);
            } else if (again) {
                hold(paper_held_, seen.line, CheckProblem::kLineTwice, of, key);
            } else {
                ++found_keys_;
            }
        };
        Ahead<Seen, decltype(settle)> ahead(settle);
        std::vector<FormatEntry> entries;
        const Outcome outcome = read(paths_.paper_info_file, kFormatIdTag, paper_info_,
                                     [&](long number, std::string_view line) {
                                         About about;
                                         entries.clear();
                                         if (const auto shape = read_paper_info_line(
                                                 line, about, [&entries](const FormatEntry& entry) {
                                                     entries.push_back(entry);
                                                 }))
                                             hold(paper_held_, number, *shape, about);
                                         for (const FormatEntry& entry : entries) {
                                             Seen& seen = ahead.next();
                                             seen.bits = paper_keys_.locate(entry.key());
                                             keys_.expect(seen.bits);
                                             seen.line = number;
                                             seen.key.assign(entry.key());
                                             seen.id_length = entry.id.size();
                                         }
                                     });
        ahead.finish();
        return outcome;
    }

    Outcome flush_paper_info() {
        return flush(
            paths_.paper_info_file, paper_info_, paper_held_,
            [](std::string_view line, const auto& take) {
                About about;
                read_paper_info_line(line, about,
                                     [&take](const FormatEntry& entry) { take(entry.key()); });
            },
            &Check::report_paper_info);
    }

    Outcome read_imaging_area() {
        struct Seen {
            KeyCounts::Bits bits;
            long line;
            std::string id;
        };
        const auto settle = [this](const Seen& seen) {
            const bool again = area_ids_.count(seen.bits) != KeyCounts::kNone;
            area_ids_.add(seen.bits);
            if (function_ == FileState::kReadable && ids_.count(seen.bits) == KeyCounts::kNone) {
                hold(area_held_, seen.line, CheckProblem::kOrphan, {seen.id, {}});
            } else if (again) {
                hold(area_held_, seen.line, CheckProblem::kLineTwice, {seen.id, {}}, seen.id);
            }
        };
        Ahead<Seen, decltype(settle)> ahead(settle);
        std::vector<std::string_view> ids;
        const Outcome outcome =
            read(paths_.imaging_area_file, kFormatIdTag, imaging_area_,
                 [&](long number, std::string_view line) {
                     About about;
                     ids.clear();
                     if (const auto shape = read_imaging_area_line(
                             line, about, [&ids](std::string_view id) { ids.push_back(id); }))
                         hold(area_held_, number, *shape, about);
                     for (const std::string_view id : ids) {
                         Seen& seen = ahead.next();
                         seen.bits = area_ids_.locate(id);
                         ids_.expect(seen.bits);
                         seen.line = number;
                         seen.id.assign(id);
                     }
                 });
        ahead.finish();
        return outcome;
    }

    Outcome flush_imaging_area() {
        return flush(
            paths_.imaging_area_file, imaging_area_, area_held_,
            [](std::string_view line, const auto& take) {
                About about;
                read_imaging_area_line(line, about, take);
            },
            &Check::report_imaging_area);
    }

    // Holds a problem of a file read before its turn. `repeated` (kLineTwice): the text an
    // earlier line holds too, as far as a filter tells; flush() makes sure.
    struct Held {
        long line;
        CheckProblem problem;
        std::string id, name;
        std::string repeated;
    };
    struct Holding {
        std::vector<Held> held;
        bool overflowed = false;
    };
    static constexpr std::size_t kMostHeld = 4096;

    static void hold(Holding& holding, long line, CheckProblem problem, About about,
                     std::string_view repeated = {}) {
        if (holding.held.size() == kMostHeld) holding.overflowed = true;
        if (holding.overflowed) return;
        holding.held.push_back(
            {line, problem, std::string(about.id), std::string(about.name), std::string(repeated)});
    }

    // Reports what was held of `path`: a repeat where one more read (only where a filter
    // took a text for a repeat) finds its text on an earlier line, with that line. Where
    // too much was held, `again` reads the file once more and reports all of it, its
    // counts complete by now. `texts_of(line, take)` takes each text of a line that
    // may be repeated.
    template <typename TextsOf>
    Outcome flush(const std::string& path, FileState& state, Holding& holding, TextsOf texts_of,
                  Outcome (Check::*again)()) {
        report_state(path, state);
        // Entries were settled a few behind their lines' shapes.
        std::stable_sort(holding.held.begin(), holding.held.end(),
                         [](const Held& a, const Held& b) { return a.line < b.line; });
        if (holding.overflowed || state != FileState::kReadable) {
            return holding.overflowed && state == FileState::kReadable ? (this->*again)()
                                                                       : Outcome{};
        }
        std::unordered_map<std::string_view, long> first;
        for (const Held& held : holding.held) {
            if (!held.repeated.empty()) first.emplace(held.repeated, 0);
        }
        Outcome outcome;
        if (!first.empty()) {
            outcome = read(path, kFormatIdTag, state, [&](long number, std::string_view line) {
                texts_of(line, [&](std::string_view text) {
                    const auto found = first.find(text);
                    if (found != first.end() && found->second == 0) found->second = number;
                });
            });
        }
        for (const Held& held : holding.held) {
            const About about{held.id, held.name};
            if (held.repeated.empty()) {
                report(path, held.line, held.problem, about);
            } else if (const long kept = first[held.repeated]; kept > 0 && kept < held.line) {
                report(path, held.line, CheckProblem::kLineTwice, about, kept);
            }
        }
        return outcome;
    }

    // Where the function file holds no name or identifier twice (as far as the filters
    // tell) and the paper info file every format of it, its lines' shapes are all there
    // is to say, and were held; else it is read once more.
    Outcome report_function_file() {
        const std::string& path = paths_.function_file;
        report_state(path, function_);
        if (function_ != FileState::kReadable) return {};
        if (marks_ == 0) report(path, 0, CheckProblem::kNoInsertionMark);
        const bool all_sized = paper_info_ != FileState::kReadable || found_keys_ >= distinct_keys_;
        if (!repeats_ && all_sized && !function_held_.overflowed) {
            for (const Held& held : function_held_.held)
                report(path, held.line, held.problem, {held.id, held.name});
            return {};
        }

        // Only the texts the filters count more than once are kept, each with its first line.
        std::unordered_map<std::string, long> first_of_name;
        std::unordered_map<std::string, std::pair<long, std::string>> first_of_id;
        std::vector<FormatEntry> entries;
        // A mark matters here only where its line holds an identifier too.
        return read(path, kFormatIdTag, function_, [&](long number, std::string_view line) {
            About about;
            entries.clear();
            const auto shape = read_function_line(
                line, about, [&entries](const FormatEntry& entry) { entries.push_back(entry); });
            if (entries.empty() && is_insertion_mark(line)) return;
            if (shape) report(path, number, *shape, about);
            for (const FormatEntry& entry : entries) {
                const About of{entry.id, entry.name()};
                if (count_of(names_, entry.name()) == KeyCounts::kMore) {
                    const auto [first, fresh] =
                        first_of_name.try_emplace(std::string(entry.name()), number);
                    if (!fresh) report(path, number, CheckProblem::kNameTwice, of, first->second);
                }
                if (count_of(ids_, entry.id) == KeyCounts::kMore) {
                    const auto [first, fresh] = first_of_id.try_emplace(
                        std::string(entry.id), number, std::string(entry.name()));
                    if (!fresh && first->second.second != entry.name())
                        report(path, number, CheckProblem::kIdTwice, of, first->second.first);
                }
                if (paper_info_ == FileState::kReadable &&
                    count_of(paper_keys_, entry.key()) == KeyCounts::kNone)
                    report(path, number, CheckProblem::kWithoutPaperInfo, of);
            }
        });
    }

    // The paper info file's problems, its counts complete, where too many were held.
    Outcome report_paper_info() {
        const std::string& path = paths_.paper_info_file;
        std::unordered_map<std::string, long> first_of_key;
        std::vector<FormatEntry> entries;
        return read(path, kFormatIdTag, paper_info_, [&](long number, std::string_view line) {
            About about;
            entries.clear();
            if (const auto shape = read_paper_info_line(
                    line, about,
                    [&entries](const FormatEntry& entry) { entries.push_back(entry); }))
                report(path, number, *shape, about);
            for (const FormatEntry& entry : entries) {
                const About of{entry.id, entry.name()};
                if (function_ == FileState::kReadable &&
                    count_of(keys_, entry.key()) == KeyCounts::kNone) {
                    report(path, number, CheckProblem::kOrphan, of);
                } else if (count_of(paper_keys_, entry.key()) == KeyCounts::kMore) {
                    const auto [first, fresh] =
                        first_of_key.try_emplace(std::string(entry.key()), number);
                    if (!fresh) report(path, number, CheckProblem::kLineTwice, of, first->second);
                }
            }
        });
    }

    // A settings line names a format by its identifier alone, wherever in the line.
    Outcome report_settings() {
        const std::string& path = paths_.settings_file;
        const Outcome read_through =
            read(path, kFormatIdTag, settings_, [&](long number, std::string_view line) {
                for (std::size_t at = line.find(kFormatIdTag); at != npos;
                     at = line.find(kFormatIdTag, at + 1)) {
                    const std::string_view id = format_id_at(line.substr(at));
                    if (id.empty() || !listed_id(id)) {
                        report(path, number,
                               id.empty() ? CheckProblem::kUnreadableId : CheckProblem::kOrphan,
                               {id, {}});
                        return;
                    }
                }
            });
        report_state(path, settings_);
        return read_through;
    }

    // The same for the imaging area file.
    Outcome report_imaging_area() {
        const std::string& path = paths_.imaging_area_file;
        std::unordered_map<std::string, long> first_of_id;
        std::vector<std::string_view> ids;
        return read(path, kFormatIdTag, imaging_area_, [&](long number, std::string_view line) {
            About about;
            ids.clear();
            if (const auto shape = read_imaging_area_line(
                    line, about, [&ids](std::string_view id) { ids.push_back(id); }))
                report(path, number, *shape, about);
            for (const std::string_view id : ids) {
                if (!listed_id(id)) {
                    report(path, number, CheckProblem::kOrphan, {id, {}});
                } else if (count_of(area_ids_, id) == KeyCounts::kMore) {
                    const auto [first, fresh] = first_of_id.try_emplace(std::string(id), number);
                    if (!fresh)
                        report(path, number, CheckProblem::kLineTwice, {id, {}}, first->second);
                }
            }
        });
    }

    const DriverPaths& paths_;
    const CheckTake& take_;
    FileState function_ = FileState::kReadable, paper_info_ = FileState::kReadable,
              settings_ = FileState::kReadable, imaging_area_ = FileState::kReadable;
    int marks_ = 0;
    bool repeats_ = false;    // a name or an identifier the function file may list twice
    long distinct_keys_ = 0;  // the function file's formats, each once
    long found_keys_ = 0;     // those the paper info file holds, each once
    // Each file's problems until its turn; bounded, as a file may hold any number.
    Holding function_held_, paper_held_, area_held_;
    // The function file's entries: their names, identifiers and keys.
    KeyCounts names_, ids_, keys_;
    // The paper info file's entries that hold sizes, and the imaging area's identifiers.
    KeyCounts paper_keys_, area_ids_;
};

}  // namespace

const char* check_problem_text(CheckProblem problem) {
    switch (problem) {
        case CheckProblem::kUnfinishedChange:
            return "change a killed run left unfinished";
        case CheckProblem::kUndoneOperation:
            return "operation a killed run left undone";
        case CheckProblem::kTemporaryFile:
            return "temporary file a killed run left";
        case CheckProblem::kMissing:
            return "missing";
        case CheckProblem::kNotRegularFile:
            return "not a regular file";
        case CheckProblem::kNoInsertionMark:
            return "no [CustomTape] line";
        case CheckProblem::kUnreadableId:
            return "unreadable identifier";
        case CheckProblem::kNoName:
            return "identifier without a name";
        case CheckProblem::kNoSizes:
            return "no sizes";
        case CheckProblem::kJoined:
            return "joined to another line";
        case CheckProblem::kNameTwice:
            return "name listed by an earlier entry";
        case CheckProblem::kIdTwice:
            return "identifier listed by an earlier entry";
        case CheckProblem::kLineTwice:
            return "same format as an earlier line";
        case CheckProblem::kWithoutPaperInfo:
            return "format without a paper info line";
        case CheckProblem::kOrphan:
            return "orphan: no entry lists its format";
    }
    return "";
}

Outcome check_driver(const DriverPaths& paths, const CheckTake& take) {
    return Check(paths, take).run();
}

void for_each_listed_entry(std::string_view line,
                           const std::function<void(const FormatEntry&)>& each) {
    About about;
    read_function_line(line, about, each);
}

std::vector<std::size_t> joined_line_splits(JoinedFile file, std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    std::vector<std::size_t> splits;
    std::string_view after;  // what follows the last whole entry
    const auto split_at = [&](std::string_view piece) {
        splits.push_back(static_cast<std::size_t>(piece.data() - line.data()));
    };
    About about;
    std::optional<CheckProblem> shape;
    if (file == JoinedFile::kFunction) {
        shape = read_function_line(line, about, [&](const FormatEntry& entry) {
            split_at(entry.id);
            after = entry.rest.substr(entry.name().size());
        });
    } else if (file == JoinedFile::kPaperInfo) {
        shape = read_paper_info_line(line, about, [&](const FormatEntry& entry) {
            split_at(entry.id);
            Dots dots;
            read_dots(entry.rest.substr(entry.name().size()), dots, &after);
        });
    } else {
        shape = read_imaging_area_line(line, about, [&](std::string_view id) {
            split_at(id);
            after = line.substr(splits.back() + id.size());
            skip_area(after);
        });
    }
    if (shape != CheckProblem::kJoined || splits.empty() || !is_blank(after)) return {};
    if (is_blank(line.substr(0, splits.front()))) splits.erase(splits.begin());
    return splits;
}
