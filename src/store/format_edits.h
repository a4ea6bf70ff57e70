// The line filters by which an add and a delete change the driver files.
#pragma once

#include <string>
#include <string_view>

#include "durable/rewrite.h"
#include "label/request.h"

constexpr LineDecision kDrop{LineDecision::kDrop, {}};

/// Decides `taken_out` for every line that refers to the format `id` (refers_to_format);
/// copies everything when `id` is empty. `id` must outlive the filter.
LineFilter taking_out(const std::string& id, LineDecision taken_out);

/// For the function file: keeps every insertion mark and writes `entry` (if any) after
/// it, counting the marks in `inserted`, and drops the other lines of the format
/// `replaced` (none when empty). All three must outlive the filter.
LineFilter editing_function_file(const std::string& entry, const std::string& replaced,
                                 int& inserted);

/// What a settings line that chose a deleted format becomes: the model's default media.
LineDecision settings_reset(const FormatRequest& request);
