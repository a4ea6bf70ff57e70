// Reading the option/value pairs of the command line, with tape sizing.
#pragma once

#include <string>

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

/// Walks argv[1..argc-1] as option/value pairs, checks each value and stores it in
/// `request`, setting the matching flag; then sizes each width and length in turn for
/// the name the whole command line ends with, so that the order of the options does
/// not matter; then checks that they make one complete add or delete. Returns the
/// first fault found; what was stored before it stays.
Refusal parse_options(int argc, const char* const argv[], FormatRequest& request,
                      OptionFlags& flags);
