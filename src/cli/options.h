// Reading the option/value pairs of the command line, with tape sizing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "label/request.h"

struct OptionFlags {
    bool printer_given = false;
    bool add_given = false;
    bool delete_given = false;
    bool width_given = false;
    bool height_given = false;
};

/// Why a command line is refused: the words at fault (an option as typed, with its
/// value quoted, or the options that are missing) and what is wrong with them. An
/// empty `why` refuses nothing.
struct Refusal {
    std::string what;
    std::string why;
    explicit operator bool() const { return !why.empty(); }
};

/// What is wrong with a width or length value, as -w and -h read it (like strtol:
/// leading blanks and a sign, digits up to the first other character); "" when it
/// reads as a size in (0, kMaxLabelMillimetres], stored in `out`.
std::string size_fault(const char* value, std::int64_t& out);

/// What is wrong with a format name as -n (`adding`) or -d takes it; "" when nothing.
std::string name_fault(std::string_view label, bool adding);

/// Walks argv[1..argc-1] as option/value pairs, checks each value and stores it in
/// `request`, setting the matching flag; then sizes each width and length in turn for
/// the name the whole command line ends with, so that the order of the options does
/// not matter; then checks that they make one complete add or delete. Returns the
/// first fault found; what was stored before it stays.
Refusal parse_options(int argc, const char* const argv[], FormatRequest& request,
                      OptionFlags& flags);

/// An --apply command line: -P <printer> --apply FILE [--prune] [--dry-run], in any order.
struct ApplyOptions {
    std::string file;
    bool prune = false;
    bool dry_run = false;
};

/// Whether the command line asks for an apply: it holds --apply, --prune or --dry-run.
bool is_apply(int argc, const char* const argv[]);

/// Reads an --apply command line into `request` (its printer) and `apply`.
Refusal parse_apply(int argc, const char* const argv[], FormatRequest& request,
                    ApplyOptions& apply);

/// Whether the command line asks for a repair: it holds --repair.
bool is_repair(int argc, const char* const argv[]);

/// Reads a repair's command line, -P <printer> --repair in either order, into `request`.
Refusal parse_repair(int argc, const char* const argv[], FormatRequest& request);
