#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "link/comcfg.h"
#include "link/pump_table.h"
#include "shell_fixture.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/menu_bar.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// The file's little-endian fields, read independently of the station's helpers.
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
void putLe(Bytes& b, std::size_t off, std::uint64_t v, int size) {
    for (int i = 0; i < size; ++i)
        b.at(off + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(v >> (8 * i));
}
void putF64(Bytes& b, std::size_t off, double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, 8);
    putLe(b, off, bits, 8);
}

// A valid file: refresh 1.0, ports 1..24, output port 30, steps 150/30, groups valid, none set.
Bytes validImage() {
    Bytes b(906, 0);
    for (int i = 0; i < 24; ++i) b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i + 1);
    b[24] = 30;
    putF64(b, 25, 1.0);
    for (int i = 0; i < 25; ++i) {
        putLe(b, 301 + 4 * static_cast<std::size_t>(i), 150, 4);
        putLe(b, 401 + 4 * static_cast<std::size_t>(i), 30, 4);
    }
    putF64(b, 501, 0.001);
    b[517] = 24;
    for (std::size_t i = 0; i < 24; ++i) b[518 + i] = 255;
    putLe(b, 902, 1, 2);
    return b;
}

int menuBarOf(int panel) {
    return ui::FindPanel(panel)->menuBar;
}

class Config_ : public ShellFixture {};

TEST_F(Config_, FirstStartCreatesTheFolderAndTheFileWithEveryDefaultAtItsOffset) {
    ASSERT_FALSE(std::filesystem::exists(home + "/cfg"));
    loadWindows();
    LoadConfiguration();

    Bytes b = readFile(cfgPath());
    ASSERT_EQ(b.size(), 906u);
    for (std::size_t i = 0; i < 25; ++i) EXPECT_EQ(b[i], 0) << "port byte " << i;
    EXPECT_EQ(f64(b, 25), 1.0);
    EXPECT_EQ(le(b, 33, 4), 369u);
    EXPECT_EQ(le(b, 37, 4), 27u);
    EXPECT_EQ(le(b, 41, 4), 0u);
    for (std::size_t i = 45; i < 301; ++i) EXPECT_EQ(b[i], 0) << "server name byte " << i;
    for (std::size_t i = 0; i < 25; ++i) {
        EXPECT_EQ(le(b, 301 + 4 * i, 4), 100u) << "large step " << i;
        EXPECT_EQ(le(b, 401 + 4 * i, 4), 25u) << "small step " << i;
    }
    EXPECT_EQ(f64(b, 501), 0.001);
    for (std::size_t i = 509; i < 517; ++i) EXPECT_EQ(b[i], 0);
    EXPECT_EQ(b[517], 24);
    for (std::size_t i = 518; i < 542; ++i) EXPECT_EQ(b[i], 255) << "group byte " << i;
    for (std::size_t i = 542; i < 902; ++i) EXPECT_EQ(b[i], 0) << "byte " << i;
    EXPECT_EQ(le(b, 902, 2), 1u);
    EXPECT_EQ(le(b, 904, 2), 0u);

    // The run goes on with the same values.
    EXPECT_EQ(PumpTable[24].RpmStepLarge, 100);
    EXPECT_EQ(PumpTable[0].RpmStepSmall, 25);
    EXPECT_EQ(PumpGroup[7], kNoGroup);
    EXPECT_EQ(Config.PumpsShown, 24);
    EXPECT_FALSE(std::filesystem::exists(cfgPath() + ".new"));
}

TEST_F(Config_, AValidFileHandsItsValuesToThePumpTable) {
    Bytes b = validImage();
    putF64(b, 501, 5.0);  // the time-out in the file is never used
    std::strcpy(reinterpret_cast<char*>(&b[45]), "blender-1");
    putLe(b, 41, 1, 4);
    writeFile(cfgPath(), b);
    loadWindows();
    LoadConfiguration();

    EXPECT_EQ(PumpTable[0].ConfiguredComPort, 1);
    EXPECT_EQ(PumpTable[23].ConfiguredComPort, 24);
    EXPECT_EQ(PumpTable[24].ComPort, 30);
    EXPECT_EQ(PumpTable[0].ComPort, 0);  // pumps get their port when the ports are opened
    EXPECT_EQ(PumpTable[12].RpmStepLarge, 150);
    EXPECT_EQ(PumpTable[24].RpmStepSmall, 30);
    EXPECT_EQ(ComTimeout, 0.001);
    EXPECT_STREQ(Config.ServerName, "blender-1");
    EXPECT_EQ(Config.DisplayUnits, 1);
    // Metric labels and decimals on every bank.
    EXPECT_EQ(ui::GetCtrlAttributeText(BankPanel[2], BankRow[17][8], ui::ATTR_UNITS_LABEL), "MPa");
    EXPECT_EQ(ui::GetCtrlAttributeInt(BankPanel[2], BankRow[17][8], ui::ATTR_PRECISION), 2);
    EXPECT_EQ(ui::GetCtrlAttributeText(BankPanel[0], BankRow[0][10], ui::ATTR_UNITS_LABEL),
              "m3 / M");
    EXPECT_EQ(ui::GetMenuBarAttributeInt(menuBarOf(BankPanel[1]), windows::MENU_UNITS_METRIC,
                                         ui::ATTR_CHECKED),
              1);
    // Nothing was written back at start-up.
    EXPECT_EQ(f64(readFile(cfgPath()), 501), 5.0);
}

TEST_F(Config_, OnlyOneTwoAndFourSecondRefreshIntervalsSurviveLoading) {
    for (double stored : {3.0, 0.5, 2.0, 4.0}) {
        ResetConfiguration();
        ui::ResetModel();
        Bytes b = validImage();
        putF64(b, 25, stored);
        writeFile(cfgPath(), b);
        loadWindows();
        LoadConfiguration();
        double expected = (stored == 2.0 || stored == 4.0) ? stored : 1.0;
        EXPECT_EQ(Config.RefreshInterval, expected) << stored;
        EXPECT_EQ(
            ui::GetCtrlAttributeDouble(BankPanel[0], windows::BANK_TMR_DISPLAY, ui::ATTR_INTERVAL),
            expected);
        int bar = menuBarOf(BankPanel[0]);
        EXPECT_EQ(ui::GetMenuBarAttributeInt(bar, windows::MENU_REFRESH_1S, ui::ATTR_CHECKED),
                  expected == 1.0 ? 1 : 0);
        EXPECT_EQ(ui::GetMenuBarAttributeInt(bar, windows::MENU_REFRESH_4S, ui::ATTR_CHECKED),
                  expected == 4.0 ? 1 : 0);
    }
}

TEST_F(Config_, GroupsOfAFileWithoutValidGroupsAreDroppedAndSavedBackValid) {
    Bytes b = validImage();
    b[518 + 3] = 2;
    b[518 + 9] = 7;
    putLe(b, 902, 0, 2);
    writeFile(cfgPath(), b);
    loadWindows();
    LoadConfiguration();

    for (int p = 0; p < 24; ++p) EXPECT_EQ(PumpGroup[p], kNoGroup) << p;
    EXPECT_EQ(ui::GetCtrlInt(BankPanel[0], BankRow[3][18]), 255);
    SaveConfiguration();
    Bytes saved = readFile(cfgPath());
    EXPECT_EQ(le(saved, 902, 2), 1u);
    EXPECT_EQ(saved[518 + 3], 255);
    EXPECT_EQ(saved[518 + 9], 255);
}

std::vector<std::pair<int, int>> g_joined;
void recordJoin(int pump, int group) {
    g_joined.emplace_back(pump, group);
}

TEST_F(Config_, ValidGroupsReachSelectorsMemberListsAndClearTheirAutoBoxes) {
    Bytes b = validImage();
    b[518 + 20] = 5;
    b[518 + 2] = 5;
    b[518 + 9] = 0;
    b[518 + 11] = 200;  // damaged: no such group
    b[542 + 2] = 1;     // grouped and "Auto": the group wins
    b[542 + 4] = 1;
    writeFile(cfgPath(), b);
    loadWindows();
    g_joined.clear();
    SetGroupMemberHook(recordJoin);
    LoadConfiguration();

    EXPECT_EQ((std::vector<std::pair<int, int>>{{2, 5}, {9, 0}, {20, 5}}), g_joined);
    EXPECT_EQ(ui::GetCtrlInt(BankPanel[2], BankRow[20][18]), 5);
    EXPECT_EQ(ui::GetCtrlInt(BankPanel[1], BankRow[9][18]), 0);
    EXPECT_EQ(PumpGroup[11], kNoGroup);
    EXPECT_EQ(AutoSelected[2], 0);
    EXPECT_EQ(ui::GetCtrlInt(BankPanel[0], BankRow[2][24]), 0);
    EXPECT_EQ(AutoSelected[4], 1);
    EXPECT_EQ(ui::GetCtrlInt(BankPanel[0], BankRow[4][24]), 1);
}

TEST_F(Config_, SavingKeepsTheLowEightBitsOfPortsAndSignExtendsSteps) {
    loadWindows();
    LoadConfiguration();
    PumpTable[3].ConfiguredComPort = 300;
    PumpTable[24].ComPort = 260;
    PumpTable[5].RpmStepLarge = -1;
    PumpTable[24].RpmStepSmall = -2;
    PumpGroup[6] = 3;
    AutoSelected[8] = 1;
    SaveConfiguration();

    Bytes b = readFile(cfgPath());
    ASSERT_EQ(b.size(), 906u);
    EXPECT_EQ(b[3], 44);
    EXPECT_EQ(b[24], 4);
    EXPECT_EQ(le(b, 301 + 4 * 5, 4), 0xFFFFFFFFu);
    EXPECT_EQ(le(b, 401 + 4 * 24, 4), 0xFFFFFFFEu);
    EXPECT_EQ(b[518 + 6], 3);
    EXPECT_EQ(b[542 + 8], 1);

    // What the next start sees.
    ResetPumpTable();
    ResetConfiguration();
    LoadConfiguration();
    EXPECT_EQ(PumpTable[3].ConfiguredComPort, 44);
    EXPECT_EQ(PumpTable[5].RpmStepLarge, -1);
    EXPECT_EQ(PumpGroup[6], 3);
    EXPECT_EQ(AutoSelected[8], 1);
}

TEST_F(Config_, ShortAndLongFilesTakeOnlyTheRecordsBytes) {
    Bytes b = validImage();
    b.resize(30);  // the ports and part of the refresh interval
    writeFile(cfgPath(), b);
    loadWindows();
    LoadConfiguration();
    EXPECT_EQ(PumpTable[7].ConfiguredComPort, 8);
    EXPECT_EQ(Config.RefreshInterval, 1.0);  // not a valid interval as read
    EXPECT_EQ(PumpTable[7].RpmStepLarge, 0);
    EXPECT_EQ(Config.PumpsShown, 0);
    for (int p = 0; p < 24; ++p) EXPECT_EQ(PumpGroup[p], kNoGroup);

    ResetPumpTable();
    ResetConfiguration();
    Bytes longer = validImage();
    longer.resize(1200, 0xAB);
    writeFile(cfgPath(), longer);
    LoadConfiguration();
    EXPECT_EQ(PumpTable[7].RpmStepLarge, 150);
    SaveConfiguration();
    EXPECT_EQ(readFile(cfgPath()).size(), 906u);
}

TEST_F(Config_, AFileOfAllOnesLoadsWithoutHarm) {
    writeFile(cfgPath(), Bytes(906, 0xFF));
    loadWindows();
    LoadConfiguration();
    EXPECT_EQ(Config.RefreshInterval, 1.0);  // NaN
    EXPECT_EQ(Config.DisplayUnits, 0);
    EXPECT_LT(std::strlen(Config.ServerName), 256u);
    EXPECT_EQ(PumpTable[0].ConfiguredComPort, 255);
    EXPECT_EQ(PumpTable[0].RpmStepLarge, -1);
    for (int p = 0; p < 24; ++p) EXPECT_EQ(PumpGroup[p], kNoGroup);
    EXPECT_EQ(ui::GetCtrlInt(BankPanel[0], BankRow[0][24]), 1);
    SaveConfiguration();
    EXPECT_EQ(readFile(cfgPath()).size(), 906u);
}

TEST_F(Config_, AnUnreadableFileGivesTheDefaults) {
    std::filesystem::create_directories(cfgPath());  // a folder where the file should be
    loadWindows();
    LoadConfiguration();
    EXPECT_EQ(PumpTable[3].RpmStepLarge, 100);
    EXPECT_EQ(Config.PumpsShown, 24);
    EXPECT_TRUE(std::filesystem::is_directory(cfgPath()));
    EXPECT_FALSE(std::filesystem::exists(cfgPath() + ".new"));
}

TEST_F(Config_, ASaveThatFailsHalfwayLeavesThePreviousFileWhole) {
    loadWindows();
    LoadConfiguration();
    const Bytes before = readFile(cfgPath());
    PumpTable[0].ConfiguredComPort = 9;
    PumpGroup[0] = 4;

    // The disk fills after 400 bytes of the new image.
    struct rlimit old;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = 400;
    auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    SaveConfiguration();
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(readFile(cfgPath()), before);
    EXPECT_FALSE(std::filesystem::exists(cfgPath() + ".new"));

    // Once there is room again the save goes through.
    SaveConfiguration();
    Bytes after = readFile(cfgPath());
    ASSERT_EQ(after.size(), 906u);
    EXPECT_EQ(after[0], 9);
    EXPECT_EQ(after[518], 4);
}

TEST_F(Config_, RefreshMenuItemsSetTheTimerAndTickOnEveryMenuBar) {
    loadWindows();
    LoadConfiguration();
    ui::SelectMenu(menuBarOf(BankPanel[1]), windows::MENU_REFRESH_4S, BankPanel[1]);
    EXPECT_EQ(Config.RefreshInterval, 4.0);
    EXPECT_EQ(
        ui::GetCtrlAttributeDouble(BankPanel[0], windows::BANK_TMR_DISPLAY, ui::ATTR_INTERVAL),
        4.0);
    for (int panel : {BankPanel[0], BankPanel[1], BankPanel[2], DetailPanel}) {
        int bar = menuBarOf(panel);
        EXPECT_EQ(ui::GetMenuBarAttributeInt(bar, windows::MENU_REFRESH_1S, ui::ATTR_CHECKED), 0);
        EXPECT_EQ(ui::GetMenuBarAttributeInt(bar, windows::MENU_REFRESH_2S, ui::ATTR_CHECKED), 0);
        EXPECT_EQ(ui::GetMenuBarAttributeInt(bar, windows::MENU_REFRESH_4S, ui::ATTR_CHECKED), 1);
        EXPECT_EQ(ui::GetMenuBarAttributeInt(bar, windows::MENU_UNITS_US, ui::ATTR_CHECKED), 1);
    }
    // The display timer runs at the new rate once enabled.
    int ticks = 0;
    windows::BindCtrlCallback("DisplayTimerTick", [](int, int, int, void* d, int, int) {
        ++*static_cast<int*>(d);
        return 0;
    });
    ui::InstallCtrlCallback(BankPanel[0], windows::BANK_TMR_DISPLAY,
                            windows::CtrlCallbackNamed("DisplayTimerTick"), &ticks);
    ui::SetCtrlAttribute(BankPanel[0], windows::BANK_TMR_DISPLAY, ui::ATTR_ENABLED, 1);
    loop.advance(12.5);
    EXPECT_EQ(ticks, 3);
    // An interval below one second is raised.
    Config.RefreshInterval = 0.25;
    ApplyRefreshInterval();
    EXPECT_EQ(Config.RefreshInterval, 1.0);
}

TEST_F(Config_, TheStartDelayHoldsThePortsForItsCountOfTicks) {
    loadWindows();
    const int panel = BankPanel[0];
    for (int round = 0; round < 2; ++round) {
        ComStartDelay = 3;
        PortsBusy = 1;
        ui::SetCtrlAttribute(panel, windows::BANK_TMR_DELAY_COM, ui::ATTR_ENABLED, 1);
        loop.advance(2.5);
        EXPECT_EQ(PortsBusy, 1) << round;
        loop.advance(1.0);
        EXPECT_EQ(PortsBusy, 0) << round;
        EXPECT_EQ(ui::GetCtrlAttributeInt(panel, windows::BANK_TMR_DELAY_COM, ui::ATTR_ENABLED), 0);
    }
}

}  // namespace
