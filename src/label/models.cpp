#include "label/models.h"

#include <iterator>

namespace {

// In models.def order, which matters: the first key found wins.
constexpr ModelEntry kModels[] = {
#define ZK_MODEL(key, model_class, directory, display) {key, model_class, directory, display},
#include "label/models.def"
#undef ZK_MODEL
};

const ModelEntry* first_key_in(std::string_view name) {
    for (const ModelEntry& model : kModels) {
        if (name.find(model.key) != std::string_view::npos) return &model;
    }
    return nullptr;
}

}  // namespace

const ModelEntry* identify_model(std::string_view invocation_name) {
    // The command's own name decides, whatever folder it is run from; only a name
    // without a key (a plain zkpapertoollpr in a model's folder) looks at its path.
    const std::string_view command = invocation_name.substr(invocation_name.rfind('/') + 1);
    if (const ModelEntry* model = first_key_in(command)) return model;
    return first_key_in(invocation_name);
}

ModelList all_models() { return {std::begin(kModels), std::end(kModels)}; }

const char* display_name(std::string_view model_dir) {
    for (const ModelEntry& model : kModels) {
        if (model_dir == model.directory) return model.display;
    }
    return "";
}
