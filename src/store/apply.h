// Bringing a driver to hold exactly the formats an administrator states: what to add,
// replace and delete, as one plan (plan.h).
#pragma once

#include <sys/time.h>

#include <cstdint>
#include <string>
#include <vector>

#include "durable/outcome.h"
#include "label/request.h"
#include "label/tape.h"
#include "store/driver_paths.h"
#include "store/plan.h"

/// A format the driver should hold, sized as an add sizes it. Kept small: a file may
/// state a hundred thousand.
struct WantedFormat {
    std::string name;
    std::string media;  // ten characters from a tape row, or ""
    std::int64_t width = 0, height = 0, print_dots = 0;

    /// The request an add of it makes on `model`'s driver.
    FormatRequest request(const FormatRequest& model) const;
    /// The tape --list shows it on.
    std::string tape() const { return listed_tape(width, media, print_dots); }
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
