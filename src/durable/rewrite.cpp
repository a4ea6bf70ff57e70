#include "durable/rewrite.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "durable/commit_record.h"
#include "durable/file_call_seam.h"
#include "durable/interrupts.h"
#include "durable/line_reader.h"
#include "durable/operation_record.h"

namespace {

// Writes `line` (if any) on a line of its own and forgets it.
int add_line(TempFile& out, std::string_view& line) {
    if (line.empty()) return 0;
    if (const int error = out.end_line()) return error;
    return out.write(std::exchange(line, {}));
}

// What a filter is shown of a line: the text before its first zero byte, as C reads it.
std::string_view up_to_first_zero(std::string_view line) { return line.substr(0, line.find('\0')); }

bool copies(LineDecision::Action action) {
    return action == LineDecision::kCopy || action == LineDecision::kCopyThenAdd;
}

int copy_through(InputFile& in, TempFile& out, const LineFilter& filter, bool& changed) {
    Stretch stretch;
    LineDecision decision;
    std::string_view added;  // written once the line it follows has ended
    long got;
    while ((got = next_stretch(in, filter.needles, stretch)) > 0) {
        int error = 0;
        switch (stretch.kind) {
            case Stretch::kPlain:
                if (!(error = add_line(out, added))) error = out.write(stretch.bytes);
                break;
            case Stretch::kMarked:
                if ((error = add_line(out, added))) break;
                decision = filter.decide(up_to_first_zero(stretch.bytes));
                changed = changed || decision.action != LineDecision::kCopy;
                if (decision.action == LineDecision::kReplace) error = out.write(decision.text);
                if (copies(decision.action) && !error) error = out.write(stretch.bytes);
                if (decision.action == LineDecision::kCopyThenAdd) added = decision.text;
                break;
            case Stretch::kMarkedRest:
                if (copies(decision.action)) error = out.write(stretch.bytes);
                break;
        }
        if (error) return error;
    }
    if (got < 0) return in.error();
    return add_line(out, added);
}

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

}  // namespace

FileChange::FileChange(std::string token) : token_(std::move(token)) {}

FileChange::~FileChange() {
    if (!record_path_.empty()) ::unlink(record_path_.c_str());
}

Outcome FileChange::prepare(int folder_fd, const std::string& folder,
                            const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        TempFile& file = files_.emplace_back(path, token_);
        if (const int error = file.create()) return file_error(error, file.path());
        unused_.push_back(&file);
    }
    record_ = UniqueFd(create_commit_record(folder_fd, token_));
    if (!record_.valid()) return file_error(errno, folder);
    record_path_ = folder + "/" + commit_record_name(token_);
    return {};
}

TempFile& FileChange::temporary_file(const std::string& path, bool& prepared) {
    const auto found = std::find_if(unused_.begin(), unused_.end(),
                                    [&](const TempFile* file) { return file->target() == path; });
    prepared = found != unused_.end();
    if (!prepared) return files_.emplace_back(path, token_);
    TempFile& file = **found;
    unused_.erase(found);
    return file;
}

Outcome FileChange::stage(const std::string& path, const LineFilter& filter,
                          std::string_view trailer) {
    InputFile in;
    if (const int error = in.open(path)) return file_error(error, path);
    bool prepared = false;
    TempFile& out = temporary_file(path, prepared);
    if (!prepared) {
        all_prepared_ = false;
        if (const int error = out.create()) return file_error(error, out.path());
    }
    bool changed = !trailer.empty();
    if (const int error = copy_through(in, out, filter, changed)) {
        // A failed read is the driver file's; a failed write, the staged file's.
        return file_error(error, in.error() ? path : out.path());
    }
    if (const int error = add_line(out, trailer)) return file_error(error, out.path());
    // A file that would come out the same stays as it is, and costs no sync.
    if (!changed) {
        out.discard();
        return {};
    }
    if (const int error = out.finish(in.status())) return file_error(error, out.path());
    staged_.push_back(&out);
    return {};
}

Outcome FileChange::commit(const std::string& folder_path) {
    const int folder_fd =
        file_calls().open(folder_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (folder_fd < 0) return file_error(errno, folder_path);
    const UniqueFd folder(folder_fd);
    if (staged_.empty()) {
        // Nothing changed, so nothing needs to be durable: only the operation ends.
        remove_operation_record(folder.get(), token_);
        return {};
    }
    std::vector<RecordedFile> recorded;
    for (const TempFile* file : staged_)
        recorded.push_back({base_name(file->target()), file->inode()});
    // From the commit record on, an interrupt lands after the whole change.
    const InterruptsHeld held;
    if (Outcome written =
            write_commit_record(folder.get(), folder_path, token_, recorded, record_.get());
        !written.ok())
        return written;
    // Every staged file's name and the record's must be durable before a rename, so that
    // a run that finds the record and a staged file missing knows that nothing was
    // renamed: one sync, unless the names were made durable ahead (prepare).
    if (!(record_.valid() && all_prepared_ && names_durable_) &&
        file_calls().fsync(folder.get()) != 0) {
        const Outcome failed = file_error(errno, folder_path);
        remove_commit_record(folder.get(), token_);
        return failed;
    }
    for (std::size_t i = 0; i < staged_.size(); ++i) {
        if (const int error = staged_[i]->put_in_place()) {
            // Before the first rename the change can still be undone; after it, the
            // record and the staged files left let the next run finish it.
            if (i == 0) {
                remove_commit_record(folder.get(), token_);
            } else {
                for (TempFile* file : staged_) file->keep();
                record_path_.clear();
            }
            return file_error(error, staged_[i]->target());
        }
    }
    // Until the renames are durable the record stays, for a run after a power cut.
    record_path_.clear();
    if (file_calls().fsync(folder.get()) != 0) return file_error(errno, folder_path);
    // The operation first: a commit record left alone is only finished again.
    remove_operation_record(folder.get(), token_);
    remove_commit_record(folder.get(), token_);
    return {};
}

Outcome rewrite_file(const std::string& path, const LineFilter& filter, std::string_view trailer) {
    FileChange change(new_change_token());
    if (Outcome staged = change.stage(path, filter, trailer); !staged.ok()) return staged;
    return change.commit(folder_of(path));
}
