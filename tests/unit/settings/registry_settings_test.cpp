#include "settings/registry_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/sim/memory_journal.h"

namespace {

using namespace settings;

const std::string kKey = "HKEY_LOCAL_MACHINE\\Software\\Qorv\\VNKPC";

class Settings : public ::testing::Test {
  protected:
    void SetUp() override { platform::setRegistry(&store); }
    void TearDown() override { platform::setRegistry(nullptr); }

    void put(const char* name, platform::RegValue v) { ASSERT_TRUE(store.set(kKey, name, v)); }
    void putDword(const char* name, std::uint32_t v) {
        put(name, {platform::RegValue::Dword, v, {}, {}, {}});
    }
    void putText(const char* name, const std::string& text) {
        put(name, {platform::RegValue::String, 0, text, {}, {}});
    }
    void putBinary(const char* name, std::vector<std::uint8_t> data) {
        put(name, {platform::RegValue::Binary, 0, {}, std::move(data), {}});
    }
    void putFloat(const char* name, float f) {
        std::uint8_t b[4];
        std::memcpy(b, &f, 4);  // little-endian host
        putBinary(name, {b[0], b[1], b[2], b[3]});
    }
    std::optional<platform::RegValue> get(const char* name) { return store.get(kKey, name); }

    platform::RegistryStore store;  // in memory
};

// Outside its range a controller value reads as the nearer bound, inside as it is; the
// reading never rewrites what a technician stored.
TEST_F(Settings, ControllerValuesAreClampedOnReadingButNotRewritten) {
    for (const FloatSetting& s : {kTargetRate, kTargetPressure, kLimitRate, kLimitPressure,
                                  kRpmStep, kPressureTolerance, kRateTolerance}) {
        SCOPED_TRACE(s.name);
        const float inside = (s.low + s.high) / 2.0f;
        for (auto [stored, read] :
             {std::pair{inside, inside}, {s.high + 1.0f, s.high}, {s.low - 1.0f, s.low}}) {
            putFloat(s.name, stored);
            EXPECT_EQ(ReadSetting(s), read) << stored;
        }
        EXPECT_EQ(get(s.name)->data.size(), 4u);
        float kept = 0.0f;
        std::memcpy(&kept, get(s.name)->data.data(), 4);
        EXPECT_EQ(kept, s.low - 1.0f) << "rewritten by a read";
    }
    const std::int16_t low = kSamplingTime.low, high = kSamplingTime.high;
    for (auto [stored, read] : {std::pair<int, int>{low + 1, low + 1}, {high + 1, high}, {-1, low}}) {
        putBinary("Sampling Time", {static_cast<std::uint8_t>(stored & 0xFF),
                                    static_cast<std::uint8_t>((stored >> 8) & 0xFF)});
        EXPECT_EQ(ReadSetting(kSamplingTime), read) << stored;
    }

    WriteSetting(kTargetRate, 12.5794f);
    WriteSetting(kSamplingTime, std::int16_t{12});
    EXPECT_EQ(get("Target Rate")->data.size(), 4u);
    EXPECT_FLOAT_EQ(ReadSetting(kTargetRate), 12.5794f);
    EXPECT_EQ(get("Sampling Time")->data, (std::vector<std::uint8_t>{12, 0}));
}

TEST_F(Settings, Timeout1IsLimitedOnWritingAndTimeout2IsAlwaysSixty) {
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {
        {0, 0}, {7, 8}, {8, 8}, {1200, 1200}, {1201, 1200},
        {0xFFFFFFFFu, 1200}};  // a negative entry, compared unsigned
    for (auto [entered, stored] : cases) {
        WriteTimeout1(entered);
        EXPECT_EQ(get("Timeout1")->dword, stored) << entered;
    }
    WriteTimeout2();
    EXPECT_EQ(get("Timeout2")->type, platform::RegValue::Dword);
    EXPECT_EQ(get("Timeout2")->dword, 60u);
}

TEST_F(Settings, JournalRetentionIsInDaysAndMegabytes) {
    putDword("Journal Keep Days", 30);
    putDword("Journal Max MB", 5);
    const journal::Retention r = ReadJournalRetention();
    EXPECT_EQ(r.keepDays, 30);
    EXPECT_EQ(r.maxBytes, 5 * 1024 * 1024);
}

TEST_F(Settings, InlineTripValueIsStoredAsPsiTimesTenThousand) {
    EXPECT_FLOAT_EQ(ReadInlineTripValue(), 1000.0f);  // the trip point held before start-up
    WriteInlineTripValue(1500.5f);
    EXPECT_EQ(get("Inline OP Value")->dword, 15005000u);
    EXPECT_FLOAT_EQ(ReadInlineTripValue(), 1500.5f);
    WriteInlineTripValue(25000.0f);
    EXPECT_EQ(get("Inline OP Value")->dword, 250000000u);
    EXPECT_FLOAT_EQ(ReadInlineTripValue(), 25000.0f);
    putDword("Inline OP Value", 250005000);  // above what the window takes: read as missing
    EXPECT_FLOAT_EQ(ReadInlineTripValue(), 1000.0f);
}

// The journal says a change as the operator knows it, only when the value changes, and
// "Password changed" only for a change: not when the default takes a missing one's place.
TEST_F(Settings, ChangesAreJournalledAsTheOperatorKnowsThem) {
    platform::MemoryJournal journal;
    journal::SetStore(&journal);
    EXPECT_EQ(ReadPassword(), "5927");
    WritePassword("5927");
    WritePassword("1234");
    WriteInlineTripValue(9000.0f);
    WriteInlineTripValue(9000.0f);
    WriteSetting(kInlineOpTrip, 1);
    WriteSetting(kAutoMode, 1);
    WriteSetting(kAlarmops, 0xA000);
    WriteSetting(kTimeout1, 45);
    WriteSetting(kTargetRate, 90.0f);
    journal::SetStore(nullptr);
    std::vector<std::string> texts;
    for (const journal::Event& e : journal.events) texts.push_back(e.text);
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "Password changed", "Inline OP Value set to 9000 psi",
                         "Inline OP Trip on", "Automatic control: Hold Rate",
                         "Alarm options: Controller Optional Trip on", "Timeout1 set to 45 s",
                         "Target Rate set to 90 bbl/min"}));
}

}  // namespace
