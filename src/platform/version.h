// The program's version: the project's one version in CMake (project(... VERSION ...)), the
// same for every program of the project, its package and its manual pages.
#pragma once

namespace platform {

// "0.1.0"
const char* ProgramVersion();

}  // namespace platform
