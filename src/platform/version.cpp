#include "platform/version.h"

// Given by CMake to this file alone, so that a new version recompiles one file.
#ifndef VNK_VERSION
#error "VNK_VERSION is set by CMake"
#endif

namespace platform {

const char* ProgramVersion() {
    return VNK_VERSION;
}

}  // namespace platform
