// Diagnostics: one line on standard error per failure, "<command>: <what>: <why>".
// Standard output keeps only the texts the driver package's scripts read.
#pragma once

#include <string>

/// Takes the name diagnostics start with from the name the tool was run under,
/// without its folder.
void set_program_name(const char* argv0);

/// Writes "<command>: <what>: <why>" and a newline to standard error.
void diagnose(const std::string& what, const std::string& why);
