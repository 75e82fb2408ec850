// The configuration file written whole or not at all, and durably; its layout pinned byte
// for byte both ways. (Every image decodes into a record that encodes into it again, and
// short, damaged and unreadable files, are config_fuzz's and the configuration load's test.)
#include "settings/config_record.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "support/sync_log.h"

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

    // Once there is room again the write goes through: the new image reaches the disk under
    // its own name, then the folder that names it.
    synclog::Take();
    WriteConfigFile(path.string(), after.data(), after.size());
    EXPECT_EQ(readFile(path), after);
    const std::string folder = fs::canonical(dir).string();
    EXPECT_EQ(synclog::Take(), (std::vector<std::string>{folder + "/vnk.cfg.new", folder}));
}

// The file's layout, pinned byte for byte: the first start's record with a mark in the
// fields it leaves at zero lands where vnk.cfg has always kept each field.
TEST(ConfigImage, EveryFieldLiesAtItsOffset) {
    ConfigRecord r = FirstStartRecord();
    r.PumpComPort[23] = 7;
    r.OutputComPort = 30;
    r.DisplayUnits = kUnitsMetric;
    r.ServerName[0] = 'b';
    r.RpmStepLarge[24] = 150;
    r.RpmStepSmall[24] = -2;
    r.PumpGroup[23] = 3;
    r.AutoSelected[23] = 1;
    r.GroupsValid = 1;
    Bytes image(kConfigRecordSize);
    EncodeConfigRecord(r, image.data());

    Bytes golden(kConfigRecordSize, 0);
    const auto put = [&](std::size_t at, const Bytes& b) {
        std::copy(b.begin(), b.end(), golden.begin() + static_cast<std::ptrdiff_t>(at));
    };
    put(23, {7, 30, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F, 0x71, 0x01, 0, 0, 0x1B, 0, 0, 0, 1, 0, 0, 0});
    put(45, {'b'});
    for (std::size_t i = 0; i < 25; ++i) {
        put(301 + 4 * i, {100});
        put(401 + 4 * i, {25});
    }
    put(397, {150});
    put(497, {0xFE, 0xFF, 0xFF, 0xFF});
    put(501, {0xFC, 0xA9, 0xF1, 0xD2, 0x4D, 0x62, 0x50, 0x3F, 0, 0, 0, 0, 0, 0, 0, 0, 24});
    put(518, Bytes(23, 0xFF));
    put(541, {3});
    put(565, {1});
    put(902, {1, 0});
    EXPECT_EQ(image, golden);
    ConfigRecord decoded{};
    DecodeConfigRecord(golden.data(), decoded);
    EXPECT_EQ(decoded, r);
}

}  // namespace
