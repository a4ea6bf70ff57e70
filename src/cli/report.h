// Turning what the store answers into the texts a user and the driver package's
// scripts see, and the exit status.
#pragma once

#include "durable/outcome.h"
#include "store/driver_lock.h"
#include "store/store.h"

/// The exit status the driver package's scripts read for a failed run (-1 to them).
constexpr int kExitFailed = 255;

/// Says what failed, where and why (standard output keeps its fixed texts: the system's
/// error text of a file failure, a paper tool's path and why it could not start; all
/// else goes to standard error) and returns the exit status: 0 for RESULT_OK and
/// RESULT_NOT_FOUND, kExitFailed otherwise.
int report(const Outcome& outcome);

/// Says on standard error alone what failed and why, for commands whose standard output
/// holds only their own lines (--check, --repair); returns kExitFailed.
int report_on_standard_error(const Outcome& outcome);

/// Says on standard error that the run waits for the lock, or could not finish a change
/// a killed run left; gives up after wait_limit_seconds().
DriverLock::Events lock_events();

/// Says on standard error why the paper tool refused `format`, one step of many, and
/// what became of the steps before it; returns kExitFailed.
int report_step(const Outcome& outcome, const std::string& format);

/// Says on standard error what carrying out the plans killed runs left does.
RecoveryEvents recovery_events();

/// Says on standard error which plans killed runs left wait for the next change.
void say_waiting_operations(const DriverPaths& paths);
