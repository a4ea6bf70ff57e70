#include "store/repair.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "durable/commit_record.h"
#include "durable/line_reader.h"
#include "durable/unique_fd.h"
#include "label/format_id.h"
#include "store/check.h"
#include "store/format_lookup.h"
#include "store/plan.h"

namespace {

// The four files in the order of DriverPaths::format_files; kFolder for its entries.
enum File { kFunction, kPaperInfo, kSettings, kImagingArea, kFolder };

struct Problem {
    std::string path;
    int file;
    long line;
    CheckProblem problem;
    std::string id, name;
    long kept_line;
};

// A line to change, found again by its place among the lines that hold the tag (all a
// filter is shown) and changed only where it still reads as it did.
struct LineChange {
    long ordinal;
    std::string text;
    LineDecision::Action action;
    std::string replacement;
};

// What the repair did to one line, or the folder's entry, as it is printed.
struct Done {
    int file;
    long line;
    std::string path, text;
};

// A name listed twice: the topmost entry stays and is registered again.
struct NameFix {
    long kept_line = 0;
    std::string kept_id;
    std::vector<long> removed;
    bool cancelled = false;
    FormatStep step;
};

constexpr const char* kOfRemovedEntry = "line of a removed entry";

bool holds(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

std::string_view without_newline(std::string_view line) { return line.substr(0, line.find('\n')); }

// Whether a settings line is one a delete would reset: it chooses the media.
bool chooses_media(std::string_view line) {
    return line.substr(0, 6) == "Media=" || line.substr(0, 10) == "MediaSize=";
}

class Repair {
public:
    Repair(const FormatRequest& model, const DriverPaths& paths, const RepairTake& take)
        : model_(model), paths_(paths), take_(take), files_(paths.format_files()) {}

    Outcome run(DriverLock& lock, const RecoveryEvents& events, std::string& failed) {
        if (Outcome finished = finish_leftovers(lock, events); !finished.ok()) return finished;
        if (Outcome checked = read_problems(); !checked.ok()) return checked;
        plan_names();
        for (int file = kFunction; file < kFolder; ++file) {
            if (Outcome read = read_file(file); !read.ok()) return read;
            if (file == kFunction) settle_names();
        }
        bool changing = !plan_.steps.empty();
        for (const auto& changes : changes_) changing = changing || !changes.empty();
        if (!changing) {
            say_done();
            for (const Problem& problem : problems_)
                say_kept(problem.path, problem.line, problem.problem);
            return {};
        }
        if (Outcome carried = carry_out_changes(); !carried.ok()) {
            if (carried.result == RESULT_COMMAND_FAILED)
                failed = plan_.steps[run_.failed_step].name;
            return carried;
        }
        say_done();
        return check_driver(paths_, [this](const CheckRecord& record) {
            say_kept(std::string(record.path), record.line, record.problem);
        });
    }

private:
    Outcome finish_leftovers(DriverLock& lock, const RecoveryEvents& events) {
        std::set<std::pair<std::string, Leftover>> before, after;
        if (Outcome listed = leftovers(before); !listed.ok()) return listed;
        if (Outcome tidied = lock.tidy(paths_); !tidied.ok()) return tidied;
        if (Outcome finished = finish_recorded_operations(model_, paths_, events); !finished.ok())
            return finished;
        if (Outcome listed = leftovers(after); !listed.ok()) return listed;
        for (const auto& [name, kind] : before) {
            if (after.count({name, kind})) continue;
            const bool staged = kind == Leftover::kStagedFile;
            const CheckProblem problem = staged ? CheckProblem::kTemporaryFile
                                         : kind == Leftover::kCommitRecord
                                             ? CheckProblem::kUnfinishedChange
                                             : CheckProblem::kUndoneOperation;
            done(kFolder, 0, paths_.inf_dir + "/" + name, staged ? "removed" : "finished",
                 check_problem_text(problem));
        }
        return {};
    }

    Outcome leftovers(std::set<std::pair<std::string, Leftover>>& found) const {
        const UniqueFd folder(::open(paths_.inf_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!folder.valid()) return file_error(errno, paths_.inf_dir);
        if (const int error = for_each_leftover(
                folder.get(), paths_.format_file_names(),
                [&found](std::string_view name, Leftover kind) { found.emplace(name, kind); }))
            return file_error(error, paths_.inf_dir);
        return {};
    }

    Outcome read_problems() {
        return check_driver(paths_, [this](const CheckRecord& record) {
            const auto at = std::find(files_.begin(), files_.end(), record.path);
            const int file = static_cast<int>(at - files_.begin());
            problems_.push_back({std::string(record.path), file, record.line, record.problem,
                                 std::string(record.id), std::string(record.name),
                                 record.kept_line});
            const Problem& problem = problems_.back();
            if (file == kFolder || problem.line == 0) return;
            at_line_[file][problem.line].push_back(problems_.size() - 1);
            if (problem.problem == CheckProblem::kLineTwice)
                wanted_text_[file].emplace(problem.kept_line, std::string());
            if (file == kFunction && (problem.problem == CheckProblem::kUnreadableId ||
                                      problem.problem == CheckProblem::kNoName))
                unreadable_entry_ = true;
            // Whether an entry that stays lists these decides what becomes of their lines.
            if (problem.problem == CheckProblem::kNoSizes ||
                problem.problem == CheckProblem::kNoName) {
                if (file == kPaperInfo && problem.problem == CheckProblem::kNoSizes)
                    alive_keys_.emplace(problem.id + "/" + problem.name, false);
                alive_ids_.emplace(problem.id, false);
            }
        });
    }

    bool is(int file, long line, CheckProblem kind) const {
        const auto found = at_line_[file].find(line);
        if (found == at_line_[file].end()) return false;
        return std::any_of(found->second.begin(), found->second.end(),
                           [&](std::size_t i) { return problems_[i].problem == kind; });
    }

    // Of a name listed twice the topmost entry stays; where it has no sizes, the others'
    // may be the only ones, so all stay.
    void plan_names() {
        for (const Problem& problem : problems_) {
            if (problem.file != kFunction || problem.problem != CheckProblem::kNameTwice ||
                is(kFunction, problem.line, CheckProblem::kJoined))
                continue;
            NameFix& fix = names_[problem.name];
            fix.kept_line = problem.kept_line;
            fix.removed.push_back(problem.line);
            alive_keys_.emplace(problem.id + "/" + problem.name, false);
            alive_ids_.emplace(problem.id, false);
        }
        const bool tape = is_tape_model(model_);
        for (auto& [name, fix] : names_) {
            FormatEntry entry;
            std::string bare;
            if (is(kFunction, fix.kept_line, CheckProblem::kWithoutPaperInfo) ||
                !find_format_id(paths_.function_file, name, fix.kept_id).ok() ||
                !read_format_entry(bare = fix.kept_id + "/", entry)) {
                fix.cancelled = true;
                continue;
            }
            const FormatSize size = find_format_size(paths_.paper_info_file, tape, fix.kept_id);
            fix.cancelled = size.width <= 0 || size.length <= 0;
            for (const long line : fix.removed) removed_[line] = &fix;
            kept_lines_[fix.kept_line] = &fix;
            fix.step.kind = FormatStep::kRegister;
            fix.step.name = name;
            fix.step.width = size.width;
            fix.step.height = size.length;
            fix.step.media = entry.fields.media;
            fix.step.id = fix.kept_id;
        }
    }

    // Reads `file` once where anything of it is to be decided: which of its lines change.
    Outcome read_file(int file) {
        const bool wanted = file == kFunction ? !alive_keys_.empty() || !alive_ids_.empty()
                                              : !dead_keys_.empty() || !dead_ids_.empty();
        if (at_line_[file].empty() && !wanted) return {};
        InputFile in;
        if (const int error = in.open(files_[file])) {
            // A missing or linked file is the check's to report, and kept.
            return error == ENOENT || error == ELOOP || error == EISDIR || error == EINVAL
                       ? Outcome{}
                       : file_error(error, files_[file]);
        }
        Stretch stretch;
        long got, number = 1, ordinal = 0;
        while ((got = next_stretch(in, kFormatIdTag, stretch)) > 0) {
            if (stretch.kind == Stretch::kMarked) {
                const std::string_view text = up_to_first_zero(stretch.bytes);
                ++ordinal;
                if (!is_comment_line(text)) decide(file, number, ordinal, text, stretch.bytes);
            }
            number += stretch.kind == Stretch::kPlain
                          ? std::count(stretch.bytes.begin(), stretch.bytes.end(), '\n')
                          : stretch.bytes.back() == '\n';
        }
        if (got < 0) return file_error(in.error(), files_[file]);
        function_read_ = function_read_ || file == kFunction;
        return {};
    }

    void settle_names() {
        for (const auto& [name, fix] : names_) {
            if (fix.cancelled) continue;
            plan_.steps.push_back(fix.step);
            done(kFunction, fix.kept_line, paths_.function_file, "registered again",
                 "name listed by later entries");
        }
        // Without a function file to tell, every line stays.
        if (!function_read_) return;
        for (const auto& [key, alive] : alive_keys_) {
            if (!alive) dead_keys_.insert(key);
        }
        for (const auto& [id, alive] : alive_ids_) {
            if (!alive) dead_ids_.insert(id);
        }
    }

    void change(int file, long number, long ordinal, std::string_view text,
                LineDecision::Action action, std::string replacement, const char* verb,
                const char* why) {
        changes_[file].push_back({ordinal, std::string(text), action, std::move(replacement)});
        done(file, number, files_[file], verb, why);
    }

    void drop(int file, long number, long ordinal, std::string_view text, const char* why) {
        change(file, number, ordinal, text, LineDecision::kDrop, {}, "removed", why);
    }

    void decide(int file, long number, long ordinal, std::string_view text,
                std::string_view bytes) {
        if (const auto wanted = wanted_text_[file].find(number); wanted != wanted_text_[file].end())
            wanted->second = without_newline(text);
        if (file == kFunction && !decide_entry(number, ordinal, text)) return;
        if (is(file, number, CheckProblem::kJoined))
            return split(file, number, ordinal, text, bytes);
        const auto found = at_line_[file].find(number);
        if (found != at_line_[file].end()) {
            for (const std::size_t i : found->second) {
                if (decide_problem(problems_[i], ordinal, text)) return;
            }
        }
        if (file == kFunction) return;
        // What only a removed entry listed.
        if (file == kPaperInfo) {
            FormatEntry entry;
            if (read_format_entry(text, entry) && dead_keys_.count(std::string(entry.key())))
                drop(file, number, ordinal, text, kOfRemovedEntry);
            return;
        }
        for (std::size_t at = text.find(kFormatIdTag); at != std::string_view::npos;
             at = file == kSettings ? text.find(kFormatIdTag, at + 1) : std::string_view::npos) {
            if (!dead_ids_.count(std::string(format_id_at(text.substr(at))))) continue;
            if (file == kSettings) return reset(number, ordinal, text, kOfRemovedEntry);
            return drop(file, number, ordinal, text, kOfRemovedEntry);
        }
    }

    // A function file line: removed where it is an entry of a name listed above it;
    // else whether the identifiers and formats it lists stay. False where it goes.
    bool decide_entry(long number, long ordinal, std::string_view text) {
        if (const auto kept = kept_lines_.find(number); kept != kept_lines_.end()) {
            NameFix& fix = *kept->second;
            fix.cancelled = fix.cancelled || !holds(text, fix.kept_id + "/");
        }
        if (const auto removed = removed_.find(number);
            removed != removed_.end() && !removed->second->cancelled) {
            drop(kFunction, number, ordinal, text, check_problem_text(CheckProblem::kNameTwice));
            return false;
        }
        // By the entries the line lists, as the check counts them: text that only holds an
        // identifier (a longer one's start, a name's words) keeps nothing, or a second
        // repair would find the lines kept orphans.
        if (is_comment_line(text)) return true;
        for_each_listed_entry(text, [this](const FormatEntry& entry) {
            if (const auto key = alive_keys_.find(std::string(entry.key()));
                key != alive_keys_.end())
                key->second = true;
            if (const auto id = alive_ids_.find(std::string(entry.id)); id != alive_ids_.end())
                id->second = true;
        });
        return true;
    }

    // True where the problem decides what becomes of the line.
    bool decide_problem(const Problem& problem, long ordinal, std::string_view text) {
        const int file = problem.file;
        const long number = problem.line;
        const char* why = check_problem_text(problem.problem);
        bool goes = false;
        switch (problem.problem) {
            case CheckProblem::kOrphan:
                goes = true;
                break;
            case CheckProblem::kLineTwice:
                goes = wanted_text_[file][problem.kept_line] == without_newline(text);
                break;
            case CheckProblem::kNoSizes:
                // A line whose identifier an entry holds may be that entry's, misspelt.
                goes = dead_ids_.count(problem.id) &&
                       (file != kPaperInfo || dead_keys_.count(problem.id + "/" + problem.name));
                break;
            case CheckProblem::kNoName:
                goes = file != kFunction && dead_ids_.count(problem.id);
                break;
            case CheckProblem::kUnreadableId:
                // A settings line only where it chooses a format (a line whose other text
                // holds "ZkL" chooses none); the others go where no entry could own them.
                goes = file != kFunction && function_read_ && !unreadable_entry_ &&
                       (file != kSettings || chooses_media(text));
                break;
            default:
                break;
        }
        if (!goes) return false;
        if (file == kSettings) {
            reset(number, ordinal, text, why);
        } else {
            drop(file, number, ordinal, text, why);
        }
        return true;
    }

    // As a delete resets a settings line that chose its format.
    void reset(long number, long ordinal, std::string_view text, const char* why) {
        change(kSettings, number, ordinal, text, LineDecision::kReplace,
               is_tape_model(model_) ? "Media=zkS12mm\n" : "MediaSize=29X1\n", "reset", why);
    }

    // A joined line is split where that is certain and nothing else of it is to be
    // mended, so that a second repair finds nothing more to do.
    void split(int file, long number, long ordinal, std::string_view text, std::string_view bytes) {
        for (const std::size_t i : at_line_[file][number]) {
            const CheckProblem problem = problems_[i].problem;
            if (problem != CheckProblem::kJoined && problem != CheckProblem::kWithoutPaperInfo &&
                problem != CheckProblem::kIdTwice)
                return;
        }
        // Only a whole line, without zero bytes, is written again as it was.
        if (text.size() != bytes.size() || text.back() != '\n') return;
        const std::vector<std::size_t> splits =
            joined_line_splits(file == kFunction    ? JoinedFile::kFunction
                               : file == kPaperInfo ? JoinedFile::kPaperInfo
                                                    : JoinedFile::kImagingArea,
                               text);
        if (splits.empty()) return;
        std::string lines(text);
        for (auto at = splits.rbegin(); at != splits.rend(); ++at) lines.insert(*at, "\n");
        change(file, number, ordinal, text, LineDecision::kReplace, std::move(lines), "split",
               check_problem_text(CheckProblem::kJoined));
    }

    Outcome carry_out_changes() {
        plan_.printer = model_.printer;
        std::vector<FileEdit> edits;
        for (int file = kFunction; file < kFolder; ++file) {
            if (changes_[file].empty()) continue;
            Cursor* cursor = &cursors_[file];
            cursor->changes = &changes_[file];
            edits.push_back({files_[file], {kFormatIdTag, [cursor](std::string_view line) {
                                                return cursor->decide(line);
                                            }}});
        }
        return carry_out(plan_, model_, paths_, run_, edits);
    }

    // Walks a file's changes as its filter is shown the lines that hold the tag.
    struct Cursor {
        const std::vector<LineChange>* changes = nullptr;
        std::size_t next = 0;
        long ordinal = 0;

        LineDecision decide(std::string_view line) {
            ++ordinal;
            if (next == changes->size() || (*changes)[next].ordinal != ordinal) return {};
            const LineChange& change = (*changes)[next++];
            if (change.text != line) return {};
            return {change.action, change.replacement};
        }
    };

    void done(int file, long line, std::string path, const char* verb, const char* why) {
        done_.push_back({file, line, std::move(path), std::string(verb) + ": " + why});
    }

    void say_done() {
        std::stable_sort(done_.begin(), done_.end(), [](const Done& a, const Done& b) {
            // The folder's entries first, as the check has them.
            const auto rank = [](const Done& done) {
                return std::make_pair(done.file == kFolder ? -1 : done.file, done.line);
            };
            return rank(a) < rank(b);
        });
        for (const Done& one : done_) take_({one.path, one.line, one.text, false});
    }

    void say_kept(const std::string& path, long line, CheckProblem problem) {
        const std::string text = std::string("kept: ") + check_problem_text(problem);
        take_({path, line, text, true});
    }

    const FormatRequest& model_;
    const DriverPaths& paths_;
    const RepairTake& take_;
    const std::vector<std::string> files_;
    std::vector<Problem> problems_;
    // Each file's problems by line (indexes into problems_).
    std::map<long, std::vector<std::size_t>> at_line_[kFolder];
    // Lines a repeat is compared with, by number: their text once read.
    std::map<long, std::string> wanted_text_[kFolder];
    bool unreadable_entry_ = false;  // the function file holds an entry it cannot read
    std::map<std::string, NameFix> names_;
    std::map<long, NameFix*> removed_, kept_lines_;
    bool function_read_ = false;
    // Formats and identifiers whose lines go unless an entry that stays lists them.
    std::map<std::string, bool> alive_keys_, alive_ids_;
    std::set<std::string> dead_keys_, dead_ids_;
    std::vector<LineChange> changes_[kFolder];
    Cursor cursors_[kFolder];
    std::vector<Done> done_;
    Plan plan_;
    PlanRun run_;
};

}  // namespace

Outcome repair_driver(const FormatRequest& model, const DriverPaths& paths, DriverLock& lock,
                      const RecoveryEvents& events, const RepairTake& take,
                      std::string& failed_format) {
    return Repair(model, paths, take).run(lock, events, failed_format);
}
