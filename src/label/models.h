// The printer models this tool serves, and how an invocation name selects one.
#pragma once

#include <cstdint>
#include <string_view>

struct ModelEntry {
    const char* key;  // searched for in the invocation name
    std::int32_t model_class;
    const char* directory;  // name in the driver's install tree and file names
    const char* display;    // sample printer name for the usage screen; "" for roll-label
};

/// The first model, in table order, whose key occurs in the last path component of
/// the invocation name, or else anywhere in the whole name; nullptr when none does.
const ModelEntry* identify_model(std::string_view invocation_name);

/// Every model, in table order.
struct ModelList {
    const ModelEntry* first;
    const ModelEntry* last;
    const ModelEntry* begin() const { return first; }
    const ModelEntry* end() const { return last; }
};
ModelList all_models();

/// The display name of the model with this directory name; "" when it has none.
const char* display_name(std::string_view model_dir);
