// The line filters by which an add and a delete change the driver files.
#pragma once

#include <string>
#include <string_view>

#include "label/request.h"
#include "store/rewrite.h"

constexpr LineDecision kDrop{LineDecision::kDrop, {}};

/// Decides `taken_out` for every line that refers to the format `id` (refers_to_format);
/// copies everything when `id` is empty. `id` must outlive the filter.
LineFilter taking_out(const std::string& id, LineDecision taken_out);

/// For the function file: writes `entry` after every insertion mark and drops the lines
/// of the format `replaced` (none when empty). Both must outlive the filter.
LineFilter inserting_entry(const std::string& entry, const std::string& replaced);

/// What a settings line that chose a deleted format becomes: the model's default media.
LineDecision settings_reset(const FormatRequest& request);
