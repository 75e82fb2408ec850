// What the harnesses share: a failure that stops the run with its reason, and a private
// folder for the files a harness writes (in memory where the machine has /dev/shm, so that a
// flush costs nothing), removed when the process ends.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace fuzzsupport {

[[noreturn]] inline void fail(const char* harness, const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", harness, what.c_str());
    std::abort();
}

inline const std::string& scratchFolder() {
    static const std::string folder = [] {
        namespace fs = std::filesystem;
        std::error_code ec;
        const fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm")
                                                               : fs::temp_directory_path();
        std::string pattern = (base / "vnk_fuzz_XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) fail("fuzz", "no scratch folder");
        static std::string made;
        made = pattern;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(made, ignored);
        });
        return pattern;
    }();
    return folder;
}

}  // namespace fuzzsupport
