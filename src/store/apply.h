// Bringing a driver to hold exactly the formats an administrator states: what to add,
// replace and delete, as one plan (plan.h).
#pragma once

#include <sys/time.h>

#include <string>
#include <vector>

#include "durable/outcome.h"
#include "label/request.h"
#include "store/driver_paths.h"
#include "store/plan.h"

/// A format the driver should hold: the request an add of it makes, sized as an add
/// sizes it, and the tape --list shows it on.
struct WantedFormat {
    FormatRequest request;
    std::string tape;
};

struct AppliedChange {
    enum Kind { kAdded, kReplaced, kDeleted };
    Kind kind;
    std::string name;
};

/// The plan that makes `model`'s driver hold every one of `wanted` (names unique), in its
/// order, as --list would show it: a format it lacks is added, one listed otherwise is
/// replaced, one listed the same is left alone (no step, its identifier kept); with
/// `prune`, then the formats it lists that `wanted` lacks are deleted, in the listing's
/// order. New identifiers come from `now`, none the driver holds. `changes` says what
/// each step does. RESULT_FILE_ERROR when the driver cannot be read.
Outcome plan_apply(const FormatRequest& model, const DriverPaths& paths,
                   const std::vector<WantedFormat>& wanted, bool prune, const timeval& now,
                   Plan& plan, std::vector<AppliedChange>& changes);
