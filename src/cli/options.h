// Reading the option/value pairs of the command line, with tape sizing.
#pragma once

#include "label/request.h"

struct OptionFlags {
    bool printer_given = false;
    bool add_given = false;
    bool delete_given = false;
    bool width_given = false;
    bool height_given = false;
};

/// Walks argv[1..argc-1] as option/value pairs, checks each value and stores it in
/// `request`, setting the matching flag. Returns false on the first rejected pair;
/// what was stored before it stays. Expects an odd argc of at least 3.
bool parse_options(int argc, const char* const argv[], FormatRequest& request, OptionFlags& flags);
