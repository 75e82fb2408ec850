// Diagnostic trace for field faults: one line per event on stderr, per module, off unless
// VNK_TRACE names the module (VNK_TRACE=link,queue; "all" for every module). There is no log
// file: a trace is for someone watching the station, and costs one test of a bit when off.
//
//   TRACE(link, "rx pump %d %s", pump + 1, name);
#pragma once

#include <cstdint>

namespace trace {

enum class Module : std::uint8_t {
    link,     // the pump session: packets on and off the wire, drops, pumps on and off line
    queue,    // the transmit queues: refusals, self-emptying, time-outs
    ops,      // operations the station sends to the pumps
    autoctl,  // "auto": the automatic controller's steps, commands and mode changes
    estop,    // each sample of the E-stop input, with the loop's clock (the loop's pace)
};

namespace detail {
extern std::uint32_t g_modules;
extern bool g_configured;
std::uint32_t configureFromEnvironment();
}  // namespace detail

inline bool enabled(Module m) {
    const std::uint32_t on =
        detail::g_configured ? detail::g_modules : detail::configureFromEnvironment();
    return (on & (1u << static_cast<unsigned>(m))) != 0;
}

// Switches modules on by a VNK_TRACE-style list; "" switches every module off.
void setModules(const char* list);
const char* moduleName(Module m);
void print(Module m, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace trace

#define TRACE(module, ...)                                        \
    do {                                                          \
        if (::trace::enabled(::trace::Module::module))            \
            ::trace::print(::trace::Module::module, __VA_ARGS__); \
    } while (false)
