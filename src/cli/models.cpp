#include "cli/models.h"

#include <iterator>

namespace {

// Order matters: the first key found wins.
constexpr ModelEntry kModels[] = {
    {"lr210", 0, "lr210", ""},         {"lr260", 1, "lr260", ""},
    {"lr380dt", 2, "lr380dt", ""},     {"tx5200", 3, "tx5200nw", "TX-5200NW"},
    {"txm88", 3, "txm88", "TX-M88"},   {"txm80", 3, "txm80", "TX-M80"},
    {"txe47n", 3, "txe47n", "TXE47N"}, {"txe41b", 3, "txe41b", "TXE41b"},
    {"txe40", 3, "txe40", "TXE40"},    {"txk30", 3, "txk30", "TX-K30"},
    {"tx12r", 3, "tx12r", "TX-12R"},
};

}  // namespace

const ModelEntry* identify_model(std::string_view invocation_name) {
    for (const ModelEntry& model : kModels) {
        if (invocation_name.find(model.key) != std::string_view::npos) return &model;
    }
    return nullptr;
}

const char* display_name(std::string_view model_dir) {
    for (const ModelEntry& model : kModels) {
        if (model_dir == model.directory) return model.display;
    }
    return "";
}
