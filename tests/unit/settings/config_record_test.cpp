// The configuration file written whole or not at all. (The record's bytes are config_fuzz's:
// every image decodes into a record that encodes into it again; short, damaged and unreadable
// files are the configuration load's test and config_fuzz's.)
#include "settings/config_record.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

using namespace settings;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ConfigFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("vnk_record_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        path = dir / "vnk.cfg";
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir, path;
};

TEST_F(ConfigFile, AWriteThatFailsHalfwayLeavesThePreviousFileWhole) {
    const Bytes before(kConfigRecordSize, 0x11);
    WriteConfigFile(path.string(), before.data(), before.size());
    ASSERT_EQ(readFile(path), before);
    const Bytes after(kConfigRecordSize, 0x22);

    // The disk fills after 400 bytes of the new image.
    struct rlimit old;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = 400;
    auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    WriteConfigFile(path.string(), after.data(), after.size());
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(readFile(path), before);
    EXPECT_FALSE(fs::exists(path.string() + ".new"));

    // Once there is room again the write goes through.
    WriteConfigFile(path.string(), after.data(), after.size());
    EXPECT_EQ(readFile(path), after);
}

}  // namespace
