// What the tool says on standard error, and the end of its standard output. Standard
// output carries only the texts the driver package's scripts read; everything else a
// user should know goes to standard error, through here.
#pragma once

#include <string>
#include <string_view>

/// Names the program in every diagnostic: the last path component of `argv0`, the
/// command it was run as (zkpapertoollpr_txm88); "zkpapertoollpr" without one.
void set_program_name(const char* argv0);

/// Writes "<program>: <what>: <why>" to standard error as one line, escaped().
void diagnose(const std::string& what, const std::string& why);

/// `text` on one line and in one tab-separated field: a backslash, tab, newline and
/// carriage return become \\, \t, \n and \r, any other byte below 0x20 and 0x7f a
/// backslash and three octal digits (\033); all other bytes stay as they are.
std::string escaped(std::string_view text);
/// Writes escaped(text) from `out` on, which needs room for 4 * text.size() bytes, and
/// returns where it ends.
char* write_escaped(char* out, std::string_view text);

/// Appends to `out` the bytes escaped() wrote as `text`: \\, \t, \n, \r and \NNN
/// (three octal digits). false at a backslash that escapes nothing of these.
bool unescaped(std::string_view text, std::string& out);

/// Flushes and closes standard output. false, after a diagnostic ("write error: ..."),
/// when anything written to it was lost.
bool close_standard_output();
