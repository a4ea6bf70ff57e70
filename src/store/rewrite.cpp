#include "store/rewrite.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <utility>

#include "store/file_call_seam.h"
#include "store/interrupts.h"
#include "store/line_reader.h"

namespace {

// Writes `line` (if any) on a line of its own and forgets it.
int add_line(TempFile& out, std::string_view& line) {
    if (line.empty()) return 0;
    if (const int error = out.end_line()) return error;
    return out.write(std::exchange(line, {}));
}

bool copies(LineDecision::Action action) {
    return action == LineDecision::kCopy || action == LineDecision::kCopyThenAdd;
}

int copy_through(InputFile& in, TempFile& out, const LineFilter& filter) {
    Stretch stretch;
    LineDecision decision;
    std::string_view added;  // written once the line it follows has ended
    long got;
    while ((got = next_stretch(in, filter.needle, stretch)) > 0) {
        int error = 0;
        switch (stretch.kind) {
            case Stretch::kPlain:
                if (!(error = add_line(out, added))) error = out.write(stretch.bytes);
                break;
            case Stretch::kMarked:
                if ((error = add_line(out, added))) break;
                decision = filter.decide(up_to_first_zero(stretch.bytes));
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

// Whether the kernel lets this process replace files of others in a sticky folder: a
// matter of the CAP_FOWNER capability, not of being root.
bool may_override_owners() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, data) != 0) return false;
    return data[CAP_TO_INDEX(CAP_FOWNER)].effective & CAP_TO_MASK(CAP_FOWNER);
}

bool has_flags(int fd, int flags) {
    int set = 0;
    return ::ioctl(fd, FS_IOC_GETFLAGS, &set) == 0 && (set & flags);
}

// Whether the commit will be allowed to rename over `path` and to remove its temporary
// file; finding out there would leave the files renamed before it new and the rest old.
int may_replace(const std::string& path, int fd, const struct stat& file) {
    const std::string folder_path = folder_of(path);
    const UniqueFd folder_fd(::open(folder_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat folder {};
    if (!folder_fd.valid() || ::fstat(folder_fd.get(), &folder) != 0) return errno;
    // In a sticky folder only the file's or the folder's owner may replace a file.
    const uid_t me = geteuid();
    if ((folder.st_mode & S_ISVTX) && me != file.st_uid && me != folder.st_uid &&
        !may_override_owners())
        return EPERM;
    if (has_flags(fd, FS_IMMUTABLE_FL | FS_APPEND_FL) ||
        has_flags(folder_fd.get(), FS_IMMUTABLE_FL | FS_APPEND_FL))
        return EPERM;
    // A file mounted over cannot be renamed over.
    struct statx mount {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS, &mount) == 0 &&
        (mount.stx_attributes_mask & mount.stx_attributes & STATX_ATTR_MOUNT_ROOT))
        return EBUSY;
    return 0;
}

}  // namespace

Outcome FileChange::stage(const std::string& path, const LineFilter& filter,
                          std::string_view trailer) {
    InputFile in;
    if (const int error = in.open(path)) return file_error(error);
    if (const int error = may_replace(path, in.descriptor(), in.status())) return file_error(error);
    TempFile& out = staged_.emplace_back(path);
    if (const int error = out.create()) return file_error(error);
    if (const int error = copy_through(in, out, filter)) return file_error(error);
    if (const int error = add_line(out, trailer)) return file_error(error);
    if (const int error = out.finish(in.status())) return file_error(error);
    return {};
}

Outcome FileChange::commit() {
    if (staged_.empty()) return {};
    // Every driver file of an operation lives in one folder.
    const int folder_fd = file_calls().open(folder_of(staged_.front().target()).c_str(),
                                            O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (folder_fd < 0) return file_error(errno);
    const UniqueFd folder(folder_fd);
    // An interrupt lands before the first rename or after the folder sync.
    const InterruptsHeld held;
    for (TempFile& file : staged_) {
        if (const int error = file.put_in_place()) return file_error(error);
    }
    if (file_calls().fsync(folder.get()) != 0) return file_error(errno);
    return {};
}

Outcome rewrite_file(const std::string& path, const LineFilter& filter, std::string_view trailer) {
    FileChange change;
    if (Outcome staged = change.stage(path, filter, trailer); !staged.ok()) return staged;
    return change.commit();
}
