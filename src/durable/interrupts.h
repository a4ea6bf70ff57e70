// What the signals that would end a run do while it changes files: remove the
// temporary files it has staged, wait out a commit, and leave a child waitable.
//
//   install_interrupt_cleanup()     -- once, before the first change
//   track_pending_file(path)        -- for each temporary file while it exists
//   track_child(pid)                -- while a child program runs
//   InterruptsHeld held;            -- around what must not be cut in two (a commit)
//   ChildrenWaitable waitable;      -- around starting and waiting for a child
//
// Contract: a catchable signal that would end the run ends it only after a tracked
// child has ended and every tracked temporary file is removed, by that same signal;
// between an InterruptsHeld's birth and death none lands. SIGKILL and a power cut are
// not signals this can see: what they leave, the next run's recovery deals with
// (commit_record.h).
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <string>

/// Makes SIGINT, SIGTERM, SIGHUP and the other signals that would end the run stop the
/// tracked child and remove every tracked temporary file before the process dies of them. A signal
/// that was ignored when the process started stays ignored.
void install_interrupt_cleanup();

/// Has the cleanup remove `path` too; returns a slot for untrack_pending_file, or -1
/// when the path is too long or four are tracked already (a killed run then leaves a
/// leftover, which the next run removes).
int track_pending_file(const std::string& path);

/// Stops tracking the file in `slot` (if any) and sets `slot` to -1.
void untrack_pending_file(int& slot);

/// Has the cleanup first pass its signal on to `child` and wait for it to end, so that
/// no part of the run outlives the driver lock; untrack_child() once it has ended.
void track_child(pid_t child);
void untrack_child();

/// Holds those signals back for its lifetime; one that arrives meanwhile is delivered
/// when the object dies.
class InterruptsHeld {
public:
    InterruptsHeld();
    ~InterruptsHeld();
    InterruptsHeld(const InterruptsHeld&) = delete;
    InterruptsHeld& operator=(const InterruptsHeld&) = delete;

    /// The signal mask from before, for a child to start with.
    const sigset_t& before() const { return before_; }

private:
    sigset_t before_;
};

/// Gives SIGCHLD its default disposition for its lifetime. With SIGCHLD ignored the
/// kernel reaps a child itself and waitpid finds nothing, whatever we were started with.
class ChildrenWaitable {
public:
    ChildrenWaitable();
    ~ChildrenWaitable();
    ChildrenWaitable(const ChildrenWaitable&) = delete;
    ChildrenWaitable& operator=(const ChildrenWaitable&) = delete;

private:
    struct sigaction before_ {};
};
