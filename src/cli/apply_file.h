// Reading the file of formats a driver should hold (--apply FILE): the lines --list
// prints, a name, a width and a length in mm and, for a tape format, its tape.
#pragma once

#include <string>
#include <vector>

#include "cli/options.h"
#include "store/apply.h"

/// Reads `path` ("-": standard input) into `wanted`, each line sized for `model` as an
/// add sizes its -w and -h, or, with a tape, so that --list shows it as written. Blank
/// lines and lines that start with '#' are skipped. The first fault found: `what` is
/// "<path>:<line>" (or the path), `why` says what is wrong.
Refusal read_apply_file(const std::string& path, const FormatRequest& model,
                        std::vector<WantedFormat>& wanted, std::vector<int>& lines);
