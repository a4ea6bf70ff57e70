// The help screen, shown for --help and for any incomplete or malformed command line,
// and the --version line.
#pragma once

#include <string>

#include "label/request.h"

/// The whole screen, filled with the request's model directory and its display name.
std::string usage_text(const FormatRequest& request);

/// The one line --version prints: the program's name and its version.
std::string version_text();

/// Writes usage_text() to standard output.
void print_usage(const FormatRequest& request);
