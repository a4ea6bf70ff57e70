// The tab-separated fields of a line, as --list writes formats and records write steps.
#pragma once

#include <string_view>
#include <vector>

/// `line` cut at each tab; a line without one is one field.
inline std::vector<std::string_view> tab_fields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t at = 0;;) {
        const std::size_t tab = line.find('\t', at);
        fields.push_back(line.substr(at, tab - at));
        if (tab == std::string_view::npos) return fields;
        at = tab + 1;
    }
}
