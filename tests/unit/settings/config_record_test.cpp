// The configuration file's bytes, read and written independently of the station's
// little-endian helpers. (Short and unreadable files are the configuration load's test.)
#include "settings/config_record.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
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

std::uint64_t le(const Bytes& b, std::size_t off, int size) {
    std::uint64_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = (v << 8) | b.at(off + static_cast<std::size_t>(i));
    return v;
}
double f64(const Bytes& b, std::size_t off) {
    std::uint64_t bits = le(b, off, 8);
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}

TEST(ConfigRecord, EveryFieldIsPackedLittleEndianAtItsOffset) {
    ConfigRecord r{};
    for (int i = 0; i < 24; ++i) {
        r.PumpComPort[i] = static_cast<std::uint8_t>(i + 1);
        r.PumpGroup[i] = static_cast<std::uint8_t>(i % 16);
        r.AutoSelected[i] = static_cast<std::uint8_t>(i % 2);
    }
    r.OutputComPort = 30;
    r.RefreshInterval = 2.0;
    r.Reserved33 = 369;
    r.Reserved37 = 27;
    r.DisplayUnits = kUnitsMetric;
    std::strcpy(r.ServerName, "blender-1");
    for (int i = 0; i < 25; ++i) {
        r.RpmStepLarge[i] = 100 + i;
        r.RpmStepSmall[i] = -i;
    }
    r.ComTimeout = 0.001;
    r.PumpsShown = 16;
    r.GroupsValid = 1;
    r.Reserved904 = 0xBEEF;
    Bytes b(kConfigRecordSize);
    EncodeConfigRecord(r, b.data());

    for (std::size_t i = 0; i < 24; ++i) {
        EXPECT_EQ(b[i], i + 1) << "port " << i;
        EXPECT_EQ(b[518 + i], i % 16) << "group " << i;
        EXPECT_EQ(b[542 + i], i % 2) << "auto " << i;
    }
    EXPECT_EQ(b[24], 30);
    EXPECT_EQ(f64(b, 25), 2.0);
    EXPECT_EQ(le(b, 33, 4), 369u);
    EXPECT_EQ(le(b, 37, 4), 27u);
    EXPECT_EQ(le(b, 41, 4), 1u);
    EXPECT_STREQ(reinterpret_cast<const char*>(&b[45]), "blender-1");
    for (std::size_t i = 0; i < 25; ++i) {
        EXPECT_EQ(le(b, 301 + 4 * i, 4), 100 + i) << "large step " << i;
        EXPECT_EQ(static_cast<std::int32_t>(le(b, 401 + 4 * i, 4)), -static_cast<int>(i));
    }
    EXPECT_EQ(f64(b, 501), 0.001);
    EXPECT_EQ(b[517], 16);
    EXPECT_EQ(le(b, 902, 2), 1u);
    EXPECT_EQ(le(b, 904, 2), 0xBEEFu);

    ConfigRecord back{};
    DecodeConfigRecord(b.data(), back);
    Bytes again(kConfigRecordSize);
    EncodeConfigRecord(back, again.data());
    EXPECT_EQ(again, b);
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
