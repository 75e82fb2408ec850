// Every fsync the test program makes, as the path of what was synced at that moment. A file
// synced under its temporary name shows that name: a test sees what reached the disk, and
// that it did before the rename. A program that links sync_log.cpp gets its fsync, which
// notes the path and forwards the call to the kernel.
#pragma once

#include <string>
#include <vector>

namespace synclog {

// The paths synced since the last call, oldest first.
std::vector<std::string> Take();

}  // namespace synclog
