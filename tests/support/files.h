// Tests on the real file system and the wall clock: a folder of the test's own, a file's
// bytes and mode, the umask for a scope, and a wait for what another thread or process does.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

// An empty folder of its own for the running test (named after it and the process), removed
// with what it holds when the object goes.
class TempFolder {
  public:
    explicit TempFolder(const std::string& what = "vnk") {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = what + "_" + std::to_string(::getpid());
        if (test != nullptr) name += std::string("_") + test->name();
        std::replace(name.begin(), name.end(), '/', '_');
        path_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    operator const std::filesystem::path&() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& p) const { return path_ / p; }
    std::string string() const { return path_.string(); }

  private:
    std::filesystem::path path_;
};

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// The permission bits of the file itself (a link is not followed), 07777 when it is missing.
inline mode_t modeOf(const std::filesystem::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 07777;
}

inline std::string octal(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "0%o", static_cast<unsigned>(mode));
    return text;
}

// The process's umask for the scope.
class Umask {
  public:
    explicit Umask(mode_t mask) : saved_(::umask(mask)) {}
    ~Umask() { ::umask(saved_); }
    Umask(const Umask&) = delete;
    Umask& operator=(const Umask&) = delete;

  private:
    mode_t saved_;
};

// Waits until done() holds, asking every `every` seconds; the bound is for a machine loaded
// with other builds, where a Debug build under the sanitizers is slow. Nothing is judged by
// the time it took.
inline bool waitFor(const std::function<bool()>& done, double seconds = 90.0, double every = 0.01) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::duration<double>(every));
    }
    return true;
}
