// Every module's start-of-run state, put back in one call. A module keeps what it holds
// between calls in one struct (comparable with a fresh one, so a forgotten field cannot hide)
// and names it once, beside its definition:
//
//   struct EStopState { ... bool operator==(const EStopState&) const = default; };
//   EStopState g;
//   VNK_MODULE_STATE(safety, estop, g)
//
// Each library registers its modules in one explicit call (RegisterLinkStates, ...) that
// start-up and the tests make; static initialisers are not used, since the linker drops the
// object files of a static library that nothing else references. ResetAllStates() brings every
// registered module back to a fresh state, upper libraries first, and a test compares each
// with a fresh one and counts them against the VNK_MODULE_STATE lines of the sources.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace modstate {

struct Module {
    const char* library;
    const char* name;
    void (*reset)();  // the state replaced by a fresh one (after what the module must undo)
    bool (*fresh)();  // whether it equals a fresh one
};

// Registering a module twice keeps one entry: every library's call may be made again.
void Add(const Module& module);
// The registered modules, in the order they were first registered.
const std::vector<Module>& Modules();
// Every registered module back to its start-of-run state, the last registered first; or only
// those of one library.
void ResetAll();
void ResetLibrary(const char* library);
// The names ("library/module") of the registered modules that are not fresh.
std::vector<std::string> NotFresh();

// A hook slot in a module's state: a std::function that compares equal to another when both
// are set or both are empty. A fresh state has none set, so a hook left installed shows.
template <typename Signature>
struct Hook : std::function<Signature> {
    using std::function<Signature>::function;
    using std::function<Signature>::operator=;
    Hook() = default;
    Hook(const std::function<Signature>& f) : std::function<Signature>(f) {}  // NOLINT
    friend bool operator==(const Hook& a, const Hook& b) {
        return static_cast<bool>(a) == static_cast<bool>(b);
    }
};

}  // namespace modstate

// Defines registerState_<module>(), which the library's register call makes. The reset
// given must leave the state fresh (the test checks it); it does what the module must undo
// outside its state as well (a window to discard, a connection to drop).
#define VNK_MODULE_STATE_RESET(library, module, state, resetFn)                                   \
    void registerState_##module() {                                                               \
        ::modstate::Add({#library, #module, resetFn, [] { return state == decltype(state){}; }}); \
    }
#define VNK_MODULE_STATE(library, module, state) \
    VNK_MODULE_STATE_RESET(library, module, state, [] { state = decltype(state){}; })
// For a state that a reset does not make fresh on purpose (what the journal's database
// still holds): the module says what fresh means.
#define VNK_MODULE_STATE_CUSTOM(library, module, resetFn, freshFn) \
    void registerState_##module() {                                \
        ::modstate::Add({#library, #module, resetFn, freshFn});    \
    }
