#include "platform/module_state.h"

#include <cstring>

namespace modstate {

namespace {
std::vector<Module>& registry() {
    static std::vector<Module> modules;
    return modules;
}
}  // namespace

void Add(const Module& module) {
    for (const Module& m : registry())
        if (std::strcmp(m.library, module.library) == 0 && std::strcmp(m.name, module.name) == 0)
            return;
    registry().push_back(module);
}

const std::vector<Module>& Modules() {
    return registry();
}

void ResetAll() {
    const std::vector<Module>& modules = registry();
    for (auto m = modules.rbegin(); m != modules.rend(); ++m) m->reset();
}

void ResetLibrary(const char* library) {
    const std::vector<Module>& modules = registry();
    for (auto m = modules.rbegin(); m != modules.rend(); ++m)
        if (std::strcmp(m->library, library) == 0) m->reset();
}

std::vector<std::string> NotFresh() {
    std::vector<std::string> names;
    for (const Module& m : registry())
        if (!m.fresh()) names.push_back(std::string(m.library) + "/" + m.name);
    return names;
}

}  // namespace modstate
