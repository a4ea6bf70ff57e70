#include "durable/interrupts.h"

#include <limits.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <iterator>

namespace {

// Every signal that would end the run by default, except those no handler can catch
// and those that mean the program itself went wrong.
constexpr int kInterrupts[] = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT, SIGUSR1,   SIGUSR2,
                               SIGALRM, SIGPIPE, SIGXFSZ, SIGXCPU, SIGVTALRM, SIGPROF};

// The temporary files a signal handler must remove: one operation stages at most one
// per driver file. Only async-signal-safe state: fixed buffers, each with a flag set
// once its path is complete.
struct PendingFile {
    char path[PATH_MAX];
    volatile sig_atomic_t set;
};
PendingFile g_pending[4];
volatile sig_atomic_t g_child = 0;

extern "C" void remove_pending_and_die(int signal_number) {
    // No part of the run may outlive its lock: the paper tool goes first.
    if (const pid_t child = g_child; child > 0) {
        ::kill(child, signal_number);
        while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    for (const PendingFile& pending : g_pending) {
        if (pending.set) ::unlink(pending.path);
    }
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
}

}  // namespace

void install_interrupt_cleanup() {
    struct sigaction action {};
    action.sa_handler = remove_pending_and_die;
    sigemptyset(&action.sa_mask);
    for (int signal_number : kInterrupts) {
        struct sigaction before {};
        // Whoever started us ignored it (nohup, a background job): so do we.
        if (sigaction(signal_number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN)
            continue;
        sigaction(signal_number, &action, nullptr);
    }
}

int track_pending_file(const std::string& path) {
    if (path.size() >= PATH_MAX) return -1;
    for (int slot = 0; slot < static_cast<int>(std::size(g_pending)); ++slot) {
        PendingFile& pending = g_pending[slot];
        if (pending.set) continue;
        std::memcpy(pending.path, path.c_str(), path.size() + 1);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        pending.set = 1;
        return slot;
    }
    return -1;
}

void untrack_pending_file(int& slot) {
    if (slot >= 0) g_pending[slot].set = 0;
    slot = -1;
}

void track_child(pid_t child) { g_child = child; }

void untrack_child() { g_child = 0; }

InterruptsHeld::InterruptsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal_number : kInterrupts) sigaddset(&held, signal_number);
    sigprocmask(SIG_BLOCK, &held, &before_);
}

InterruptsHeld::~InterruptsHeld() { sigprocmask(SIG_SETMASK, &before_, nullptr); }

ChildrenWaitable::ChildrenWaitable() {
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    sigaction(SIGCHLD, &standard, &before_);
}

ChildrenWaitable::~ChildrenWaitable() { sigaction(SIGCHLD, &before_, nullptr); }
