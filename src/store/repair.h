// Repairing a model's driver: what the check (check.h) finds and can mend without
// guessing is mended in one change of the kind every change is (plan.h); the rest is
// kept and said.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "durable/outcome.h"
#include "label/request.h"
#include "store/driver_lock.h"
#include "store/driver_paths.h"
#include "store/store.h"

/// One thing a repair did or kept. The views are valid during the call only.
struct RepairRecord {
    std::string_view path;  // the driver file; for a leftover, the entry in the folder
    long line = 0;          // from 1, 0 where no line is: what it did, in the file as it was;
                            // what it kept, as it is now (the line --check names)
    std::string_view text;  // "<what it did>: <the check's problem text>", or for what
                            // it kept, "kept: <the check's problem text>"
    bool kept = false;
};

using RepairTake = std::function<void(const RepairRecord&)>;

/// Under `lock`, taken as DriverLock::kRepair: finishes what killed runs left (tidy(),
/// then finish_recorded_operations), checks the driver and mends, in one change, what
/// can be mended for certain: lines no entry lists are removed (a settings line reset as
/// a delete resets it); of a name listed twice the topmost entry stays and the others go
/// with every line only they list, and the paper tool registers the one that stays again
/// (`model.printer`); a line repeated word for word goes; an unreadable line goes where
/// no entry it could belong to is listed; a joined line is split where that is certain.
/// Then `take` gets what it did, in the order of the check's lines, and what the check
/// still finds, as kept. A driver with nothing to mend is not written to.
/// RESULT_FILE_ERROR or RESULT_COMMAND_FAILED (`failed_format` names the format the
/// paper tool refused) as carry_out answers them; no file has changed and nothing is
/// taken but what killed runs left.
Outcome repair_driver(const FormatRequest& model, const DriverPaths& paths, DriverLock& lock,
                      const RecoveryEvents& events, const RepairTake& take,
                      std::string& failed_format);
