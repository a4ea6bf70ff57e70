// A rewrite under failing system calls and signals: the driver file is either the old
// one or the new one, whole, and no temporary file outlives the run.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "store/file_calls.h"
#include "store/rewrite.h"
#include "support.h"

namespace {

// Which call fails, on which use of it (counting from 1), and how.
struct Fault {
    const char* call;
    int use;
    int error;
};

Fault g_fault{"", 0, 0};
int g_uses = 0;

bool strikes(const char* call) {
    return std::string(call) == g_fault.call && ++g_uses == g_fault.use;
}

#define FAIL_OR(call, ...)     \
    if (strikes(#call)) {      \
        errno = g_fault.error; \
        return -1;             \
    }                          \
    return system_file_calls().call(__VA_ARGS__)

int open_(const char* p, int f, mode_t m) { FAIL_OR(open, p, f, m); }
int fstat_(int fd, struct stat* s) { FAIL_OR(fstat, fd, s); }
ssize_t read_(int fd, void* b, size_t n) { FAIL_OR(read, fd, b, n); }
ssize_t write_(int fd, const void* b, size_t n) {
    if (std::string(g_fault.call) == "short write") return system_file_calls().write(fd, b, 1);
    if (std::string(g_fault.call) == "stalled write") return 0;
    FAIL_OR(write, fd, b, n);
}
int fsync_(int fd) { FAIL_OR(fsync, fd); }
int close_(int fd) { FAIL_OR(close, fd); }
int fchmod_(int fd, mode_t m) { FAIL_OR(fchmod, fd, m); }
int fchown_(int fd, uid_t u, gid_t g) { FAIL_OR(fchown, fd, u, g); }
int rename_(const char* a, const char* b) { FAIL_OR(rename, a, b); }

class FaultyCalls {
public:
    explicit FaultyCalls(Fault fault) {
        g_fault = fault;
        g_uses = 0;
        file_calls() = {open_, fstat_, read_, write_, fsync_, close_, fchmod_, fchown_, rename_};
    }
    ~FaultyCalls() { file_calls() = system_file_calls(); }
};

const std::string kOld = "[CustomTape]\nold line\n";

LineDecision add_entry(std::string_view line) {
    return line == "[CustomTape]\n" ? LineDecision{LineDecision::kCopyThenAdd, "entry\n"}
                                    : LineDecision{};
}

class FaultTest : public testing::TestWithParam<Fault> {
protected:
    TempDir dir_;
    std::string path_ = dir_ / "zkfunc";
};

void PrintTo(const Fault& fault, std::ostream* out) { *out << fault.call << "_" << fault.use; }

}  // namespace

TEST_P(FaultTest, LeavesTheFileWholeAndNoTemporaryFile) {
    const Fault fault = GetParam();
    write_file(path_, kOld);
    if (std::string(fault.call) == "fchown") {
        // Only a change of owner calls fchown, and only root can make one.
        if (geteuid() != 0) GTEST_SKIP() << "needs root to give the file another owner";
        ASSERT_EQ(chown(path_.c_str(), 4321, 4321), 0);
    }
    Outcome outcome;
    {
        FaultyCalls calls(fault);
        outcome = rewrite_file(path_, add_entry, "trailer\n");
    }
    EXPECT_EQ(outcome.result, RESULT_FILE_ERROR);
    EXPECT_EQ(outcome.error, fault.error);
    EXPECT_EQ(list_folder(dir_.path()), std::vector<std::string>{"zkfunc"});
    const std::string now = read_file(path_);
    if (std::string(fault.call) == "fsync" && fault.use == 2) {
        // The folder sync comes after the rename: the new file is in place, whole.
        EXPECT_EQ(now, "[CustomTape]\nentry\nold line\ntrailer\n");
    } else {
        EXPECT_EQ(now, kOld);
    }
}

INSTANTIATE_TEST_SUITE_P(
    EachCall, FaultTest,
    testing::Values(Fault{"open", 1, EACCES},                         // the driver file
                    Fault{"fstat", 1, EIO},                           // checking it
                    Fault{"read", 1, EIO}, Fault{"open", 2, ENOSPC},  // the temporary file
                    Fault{"write", 1, ENOSPC}, Fault{"stalled write", 0, EIO},
                    Fault{"fstat", 2, EIO},  // its owner
                    Fault{"fchown", 1, EPERM}, Fault{"fchmod", 1, EPERM}, Fault{"fsync", 1, EIO},
                    Fault{"close", 1, EIO}, Fault{"open", 3, EMFILE},     // the folder
                    Fault{"rename", 1, EROFS}, Fault{"fsync", 2, EIO}));  // the folder

TEST(Faults, ShortWritesAreCarriedOn) {
    TempDir dir;
    write_file(dir / "f", kOld);
    FaultyCalls calls({"short write", 0, 0});
    ASSERT_TRUE(rewrite_file(dir / "f", add_entry).ok());
    EXPECT_EQ(read_file(dir / "f"), "[CustomTape]\nentry\nold line\n");
}

namespace {

// Runs a rewrite in a child that stops inside its first write, with the temporary
// file created and the driver lock held, and sends it `signal_number` there.
// Returns how the child ended.
int interrupt_rewrite(const std::string& root, int signal_number) {
    int ready[2];
    if (pipe(ready) != 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(ready[0]);
        static int tell_fd;
        tell_fd = ready[1];
        install_interrupt_cleanup();
        DriverLock lock;
        if (!lock.take(driver_paths(root, "m")).ok()) _exit(2);
        file_calls().write = [](int, const void*, size_t) -> ssize_t {
            (void)!::write(tell_fd, "x", 1);
            for (;;) pause();
        };
        rewrite_file(driver_paths(root, "m").function_file, copy_all, "trailer\n");
        _exit(3);
    }
    close(ready[1]);
    char byte;
    const bool stopped = read(ready[0], &byte, 1) == 1;
    close(ready[0]);
    if (stopped) kill(child, signal_number);
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

}  // namespace

TEST(Interrupts, RemoveTheTemporaryFileAndDieOfTheSameSignal) {
    TempDir root;
    const DriverPaths paths = driver_paths(root.path(), "m");
    ASSERT_EQ(system(("mkdir -p " + paths.inf_dir).c_str()), 0);
    write_file(paths.function_file, kOld);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        const int status = interrupt_rewrite(root.path(), signal_number);
        ASSERT_TRUE(WIFSIGNALED(status)) << signal_number;
        EXPECT_EQ(WTERMSIG(status), signal_number);
        EXPECT_EQ(list_folder(paths.inf_dir), std::vector<std::string>{"zkmfunc"});
        EXPECT_EQ(read_file(paths.function_file), kOld);
    }
}

TEST(Interrupts, AKilledRunLeavesNoLockAndALeftoverTheNextRunRemoves) {
    TempDir root;
    const DriverPaths paths = driver_paths(root.path(), "m");
    ASSERT_EQ(system(("mkdir -p " + paths.inf_dir).c_str()), 0);
    write_file(paths.function_file, kOld);
    const int status = interrupt_rewrite(root.path(), SIGKILL);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(exists(paths.function_file + ".$$$"));

    DriverLock lock;
    ASSERT_TRUE(lock.take(paths).ok());
    ASSERT_TRUE(rewrite_file(paths.function_file, copy_all, "trailer\n").ok());
    EXPECT_EQ(list_folder(paths.inf_dir), std::vector<std::string>{"zkmfunc"});
    EXPECT_EQ(read_file(paths.function_file), kOld + "trailer\n");
}
