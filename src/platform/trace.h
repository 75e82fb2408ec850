// Diagnostic trace for field faults: one line per event on stderr, per module, off unless
// VNK_TRACE names the module (VNK_TRACE=link,queue; "all" for every module). There is no log
// file: a trace is for someone watching the station. A module that is off costs one load and
// one test of a bit; one that is on never waits for stderr (a line that does not fit is
// dropped and counted, and the count is written before the next line that does).
//
//   TRACE(link, "rx pump %d %s", pump + 1, name);
//
// Safe from any thread: each line goes out in one write, so lines of the journal's and the
// archive move's workers never interleave with the loop's.
#pragma once

#include <atomic>
#include <cstdint>

namespace trace {

enum class Module : std::uint8_t {
    link,          // the pump session: packets on and off the wire, drops, pumps on and off line
    queue,         // the transmit queues: refusals, self-emptying, time-outs
    ops,           // operations the station sends to the pumps
    autoctl,       // "auto": the automatic controller's steps, commands and mode changes
    estop,         // the E-stop input: each change of the loop, each failure and why
    estopSamples,  // "estop-samples": each E-stop sample with the loop's clock (the loop's
                   // pace, for bench/loop_stall.sh)
    ports,         // serial ports: open (the node, errno text), close, I/O errors, hang-up
    blender,       // the blender link: connect, disconnect, each reading, each reply
    recorder,      // recording files: started, each flush, failures, the archive move
    journal,       // the event journal: open, damage and the fresh file, pruning, errors
    remote,        // remote monitoring: connects, their ends and why, the exit's "offline"
};

namespace detail {
// Not yet read from VNK_TRACE: the first test of a module reads it.
inline constexpr std::uint32_t kUnconfigured = 1u << 31;
extern std::atomic<std::uint32_t> g_modules;
std::uint32_t configureFromEnvironment();
}  // namespace detail

inline bool enabled(Module m) {
    std::uint32_t on = detail::g_modules.load(std::memory_order_relaxed);
    if ((on & detail::kUnconfigured) != 0) on = detail::configureFromEnvironment();
    return (on & (1u << static_cast<unsigned>(m))) != 0;
}

// Switches modules on by a VNK_TRACE-style list; "" switches every module off.
void setModules(const char* list);
const char* moduleName(Module m);
void print(Module m, const char* format, ...) __attribute__((format(printf, 2, 3)));
// The text of an errno value for a trace line ("no reason given" for 0).
const char* errnoText(int error);

}  // namespace trace

#define TRACE(module, ...)                                        \
    do {                                                          \
        if (::trace::enabled(::trace::Module::module))            \
            ::trace::print(::trace::Module::module, __VA_ARGS__); \
    } while (false)
