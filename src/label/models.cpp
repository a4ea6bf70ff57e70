#include "label/models.h"

#include <iterator>

namespace {

// In models.def order, which matters: the first key found wins.
constexpr ModelEntry kModels[] = {
#define ZK_MODEL(key, model_class, directory, display) {key, model_class, directory, display},
#include "label/models.def"
#undef ZK_MODEL
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
