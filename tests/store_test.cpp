// What the command line cannot reach: system calls failing in turn, interrupts at the
// worst moments, lines across read boundaries, identifier look-alikes.
#include "store/store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "durable/file_call_seam.h"
#include "label/format_id.h"
#include "rewrite_model.h"

namespace {

// Which call fails, on which use of it (counting from 1; 0: every use), with which errno,
// or which signal (negative) arrives just before it.
struct Fault {
    const char* call;
    int use;
    int error;
    char after;  // the files then: 'o'ld, 'n'ew, or 'N'ew once the next run has finished them
};
Fault g_fault;
int g_uses = 0;

bool strikes(const char* call) {
    const bool now =
        g_fault.call == std::string(call) && (++g_uses == g_fault.use || g_fault.use == 0);
    if (now && g_fault.error < 0) raise(-g_fault.error);
    return now && g_fault.error >= 0;
}

#define FAIL_OR(call, ...) \
    return strikes(#call) ? (errno = g_fault.error, -1) : system_file_calls().call(__VA_ARGS__)

int open_(const char* p, int f, mode_t m) { FAIL_OR(open, p, f, m); }
int fstat_(int fd, struct stat* s) { FAIL_OR(fstat, fd, s); }
ssize_t read_(int fd, void* b, size_t n) { FAIL_OR(read, fd, b, n); }
ssize_t write_(int fd, const void* b, size_t n) {
    if (strikes("short write")) return system_file_calls().write(fd, b, 1);
    FAIL_OR(write, fd, b, n);
}
int fsync_(int fd) { FAIL_OR(fsync, fd); }
int close_(int fd) { FAIL_OR(close, fd); }
int fchmod_(int fd, mode_t m) { FAIL_OR(fchmod, fd, m); }
int fchown_(int fd, uid_t u, gid_t g) { FAIL_OR(fchown, fd, u, g); }
int rename_(const char* a, const char* b) { FAIL_OR(rename, a, b); }

// A driver whose format "F" a delete takes out of all four files.
class StoreTest : public testing::Test {
protected:
    StoreTest() {
        std::filesystem::create_directories(paths_.inf_dir);
        paths_.paper_tool = "/bin/true";
        request_.model_class = 3;
        request_.label = "F";
        request_.printer = "Q";
    }
    void write(const Files& contents) {
        for (std::size_t i = 0; i < 4; ++i) write_file(paths_.format_files()[i], contents[i]);
    }
    Files contents() const {
        Files now;
        for (const std::string& file : paths_.format_files()) now.push_back(read_file(file));
        return now;
    }
    const Files kOld = {"[CustomTape]\nZkL010A0321F3A7/F\n",
                        "S/9mm:\t50\t9\nZkL010A0321F3A7/F:\t70\t353\nT", "Media=ZkL010A0321F3A7\n",
                        "S:\t9\nZkL010A0321F3A7:\t0.00\t0.00\t28.00\t141.52\n"};
    const Files kNew = {"[CustomTape]\n", "S/9mm:\t50\t9\nT", "Media=zkS12mm\n", "S:\t9\n"};

    TempDir root_;
    DriverPaths paths_ = driver_paths(root_.path, "m");
    FormatRequest request_;
};

}  // namespace

// A delete reads the function file (open 1) and again for shared identifiers (2), the
// settings file for a line that chose the format (3), checks the four files (4 to 7),
// creates their temporary files ahead (8 to 11), records itself, runs the paper tool,
// stages the function, paper info, settings and imaging area files (12 to 15: the
// imaging area's is the eleventh read, fourth write, fchmod, fsync, close), then opens
// the folder (16), renames the four files after writing the commit record and syncs the
// folder. A write of one byte at a time and an owner we may not give are carried on.
// Signals must end the run (a child's, with the interrupt cleanup) before the commit or
// after all of it, leaving no temporary file. Whatever a failure or a signal leaves once
// the operation is recorded, the next change finishes: the paper tool has deleted the
// format already ('o': old until then, 'N': mixed or new, 'n': new at once); a failure
// before that changes nothing for good ('x').
TEST_F(StoreTest, AFailingCallOrASignalLeavesEveryFileAsItWasOrEveryFileNew) {
    const Fault faults[] = {
        {"open", 15, EACCES, 'o'},   {"fstat", 14, EIO, 'o'},     {"read", 11, EIO, 'o'},
        {"open", 11, ENOSPC, 'x'},   {"write", 4, ENOSPC, 'o'},   {"fstat", 15, EIO, 'o'},
        {"fchown", 4, EIO, 'o'},     {"fchmod", 4, EROFS, 'o'},   {"fsync", 4, EIO, 'o'},
        {"close", 4, EIO, 'o'},      {"open", 16, EMFILE, 'o'},   {"rename", 1, EROFS, 'o'},
        {"rename", 2, EXDEV, 'N'},   {"fsync", 5, EIO, 'N'},      {"short write", 0, 0, 'n'},
        {"fchown", 0, EPERM, 'n'},   {"write", 2, -SIGINT, 'o'},  {"fsync", 3, -SIGHUP, 'o'},
        {"write", 4, -SIGXFSZ, 'o'}, {"rename", 1, -SIGTERM, 'n'}};
    for (const Fault& fault : faults) {
        write(kOld);
        // Only a change of owner calls fchown, and only root can make one.
        for (const std::string& file : paths_.format_files())
            (void)!chown(file.c_str(), 4321, 4322);
        if (fault.call == std::string("fchown") && geteuid() != 0) continue;
        g_fault = fault;
        g_uses = 0;
        file_calls() = {open_, fstat_, read_, write_, fsync_, close_, fchmod_, fchown_, rename_};
        const std::string row = fault.call + std::to_string(fault.use);
        if (fault.error >= 0) {
            const int error = fault.use ? fault.error : 0;  // every use: carried on
            const Outcome outcome = delete_label_format(request_, paths_);
            EXPECT_EQ(outcome.result, error ? RESULT_FILE_ERROR : RESULT_OK) << row;
            EXPECT_EQ(outcome.error, error) << row;
        } else if (const pid_t child = fork(); child == 0) {
            const rlimit no_core{};
            setrlimit(RLIMIT_CORE, &no_core);
            install_interrupt_cleanup();
            delete_label_format(request_, paths_);
            _exit(3);
        } else {
            int status = 0;
            waitpid(child, &status, 0);
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == -fault.error) << row;
        }
        file_calls() = system_file_calls();
        // Only what the next change must finish stays: the operation, a commit record.
        EXPECT_EQ(entries(paths_.inf_dir) > 4u, fault.after == 'o' || fault.after == 'N') << row;
        if (fault.after != 'N') {
            EXPECT_EQ(contents(), fault.after == 'n' ? kNew : kOld) << row;
        }
        EXPECT_TRUE(DriverLock().take(paths_, DriverLock::kExclusive).ok()) << row;
        EXPECT_TRUE(finish_recorded_operations(request_, paths_, {}).ok()) << row;
        EXPECT_EQ(contents(), fault.after == 'x' ? kOld : kNew) << row;
        EXPECT_EQ(entries(paths_.inf_dir), 4u) << row;
        // Root gives each file back its owner and group.
        for (const std::string& file : paths_.format_files()) {
            struct stat status {};
            EXPECT_TRUE(
                geteuid() || !fault.use ||
                (!stat(file.c_str(), &status) && status.st_uid == 4321 && status.st_gid == 4322))
                << row << file;
        }
    }
    // A staged file lost after the first rename (the folder restored from a copy, say)
    // leaves a change nobody can finish: it is kept and reported, never rolled back.
    write(kOld);
    g_fault = {"rename", 2, EXDEV, 'N'};
    g_uses = 0;
    file_calls() = {open_, fstat_, read_, write_, fsync_, close_, fchmod_, fchown_, rename_};
    delete_label_format(request_, paths_);
    file_calls() = system_file_calls();
    for (const auto& entry : std::filesystem::directory_iterator(paths_.inf_dir))
        if (entry.path().filename().string().rfind("ImagingArea.zk-", 0) == 0)
            std::filesystem::remove(entry);
    EXPECT_NE(DriverLock().take(paths_, DriverLock::kExclusive).why, nullptr);
    EXPECT_EQ(contents()[0], kNew[0]);
    // The commit record, two staged files, the operation record and its paper tool's note.
    EXPECT_EQ(entries(paths_.inf_dir), 9u);
}

TEST(Rewrite, JudgesEachLineByItsFirstPieceAndPassesEveryByteThrough) {
    // Lines across read boundaries and longer than a piece, a mark that crosses the end
    // of the first piece, one behind a zero byte, no final newline.
    const std::string piece(kLinePieceBytes - 7, 'x');
    std::string in;
    for (int i = 0; i < 20000; ++i) in += "keep line " + std::to_string(i) + "\n";
    in += "Zk- drop " + piece + "Zk+\nkeep " + piece + "Zk-\n" + std::string("z\0Zk-\n", 6);
    EXPECT_TRUE(rewrites_as_modelled(TempDir(), in + "Zk twice\nZk= new\nlast Zk"));
}

TEST(MatchFormatId, FindsOnlyTheNameBesideAWholeIdentifier) {
    using namespace std::string_view_literals;
    const std::string_view cases[][3] = {
        // The driver never looked at the separator of the 25-character layout.
        {"  ZkL_zkS12mm__090A0321F3A7|New Label:\t70", "New Label", "ZkL_zkS12mm__090A0321F3A7"},
        {"ZkL_zkS12mm__090A0321F3A7/New Labe", "New Label", ""},
        {"ZkL junk ZkL_zkS12mm__090A0321F3A7/New Label", "New Label", ""},
        {"ZkL_zkHS12mm_0212C0321F3A7/HS\n", "/H", ""},
        // At the fixed offsets this would read "Here", the end of another's name.
        {"ZkL0E3E0641F304/Big Long xHere\n", "Here", ""},
        {"ZkL01040071F3A/a", "a", ""},  // a digit short
        {"\0ZkL_zkS12mm__010A0321F3A7/a"sv, "a", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(match_format_id(c[0], c[1]), c[2]) << c[0];
    // Width 0x3E0 and height 0x641: the shorter identifier is only this one's start.
    EXPECT_FALSE(refers_to_format("MediaSize=ZkL093E0641F3A7B\n", "ZkL093E0641F3A7"));
}
