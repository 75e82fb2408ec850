#include "platform/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace trace {

namespace {
constexpr Module kModules[] = {Module::link, Module::queue, Module::ops, Module::autoctl, Module::estop};

std::uint32_t bit(Module m) {
    return 1u << static_cast<unsigned>(m);
}

std::uint32_t parse(const char* list) {
    std::uint32_t on = 0;
    if (list == nullptr) return on;
    const char* p = list;
    while (*p != '\0') {
        const char* end = std::strchr(p, ',');
        const std::size_t n = end != nullptr ? static_cast<std::size_t>(end - p) : std::strlen(p);
        for (Module m : kModules) {
            const char* name = moduleName(m);
            if ((std::strlen(name) == n && std::strncmp(p, name, n) == 0) ||
                (n == 3 && std::strncmp(p, "all", 3) == 0))
                on |= bit(m);
        }
        p += n;
        if (*p == ',') ++p;
    }
    return on;
}
}  // namespace

namespace detail {
std::uint32_t g_modules = 0;
bool g_configured = false;

std::uint32_t configureFromEnvironment() {
    g_modules = parse(std::getenv("VNK_TRACE"));
    g_configured = true;
    return g_modules;
}
}  // namespace detail

void setModules(const char* list) {
    detail::g_modules = parse(list);
    detail::g_configured = true;
}

const char* moduleName(Module m) {
    switch (m) {
        case Module::link:
            return "link";
        case Module::queue:
            return "queue";
        case Module::ops:
            return "ops";
        case Module::autoctl:
            return "auto";
        case Module::estop:
            return "estop";
    }
    return "?";
}

void print(Module m, const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::fprintf(stderr, "vnk %s: %s\n", moduleName(m), line);
}

}  // namespace trace
