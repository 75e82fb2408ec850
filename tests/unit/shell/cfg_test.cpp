// Loading and saving vnk.cfg: what a file hands to the Pump Table and shows on the windows,
// and what a save takes back. Damaged, short and long files, and a file that does not mark
// its groups valid, are config_fuzz's (every image: the values taken or replaced, then saved
// and loaded alike).
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "link/comcfg.h"
#include "link/pump_table.h"
#include "platform/group_access.h"
#include "shell_fixture.h"
#include "support/config_file.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/menu_bar.h"

using namespace pumplink;

namespace {

using settings::Config;
using namespace windows;
using Bytes = std::vector<std::uint8_t>;

class Configuration : public ShellFixture {
  protected:
    Bytes readFile() const {
        std::ifstream in(cfgPath(), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void writeFile(const Bytes& bytes) const {
        std::filesystem::create_directories(home + "/cfg");
        std::ofstream(cfgPath(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    // Pumps on COM1-24, the output on COM30, speed steps 150 and 30, no groups.
    static settings::ConfigRecord valid() {
        settings::ConfigRecord r = FleetConfig();
        r.OutputComPort = 30;
        for (int i = 0; i < settings::kRecordEntries; ++i) {
            r.RpmStepLarge[i] = 150;
            r.RpmStepSmall[i] = 30;
        }
        return r;
    }
    static Bytes image(const settings::ConfigRecord& r) {
        Bytes b(settings::kConfigRecordSize);
        settings::EncodeConfigRecord(r, b.data());
        return b;
    }
    settings::ConfigRecord saved() const {
        settings::ConfigRecord r{};
        settings::DecodeConfigRecord(readFile().data(), r);
        return r;
    }
    // Loads the file into freshly loaded windows, as start-up does.
    void load() {
        settings::ResetConfigRecord();
        ResetPumpTable();
        ui::ResetModel();
        loadWindows();
        LoadConfiguration();
    }
    static bool checked(int panel, int item) {
        return ui::GetMenuBarAttributeInt(ui::FindPanel(panel)->menuBar, item, ui::ATTR_CHECKED) !=
               0;
    }
};

TEST_F(Configuration, FirstStartCreatesTheFolderAndTheFileAndRunsOnItsDefaults) {
    ASSERT_FALSE(std::filesystem::exists(home + "/cfg"));
    load();
    settings::ConfigRecord first = settings::FirstStartRecord();
    first.GroupsValid = 1;
    EXPECT_EQ(readFile(), image(first));
    EXPECT_FALSE(std::filesystem::exists(cfgPath() + ".new"));

    // The run goes on with the same values.
    EXPECT_EQ(PumpTable[24].RpmStepLarge, 100);
    EXPECT_EQ(PumpTable[0].RpmStepSmall, 25);
    EXPECT_EQ(PumpTable[7].PumpGroup, kNoGroup);
    EXPECT_EQ(Config.PumpsShown, 24);
    EXPECT_EQ(Config.RefreshInterval, 1.0);
}

TEST_F(Configuration, AValidFileHandsItsValuesToThePumpTable) {
    settings::ConfigRecord r = valid();
    r.ComTimeout = 5.0;  // the time-out in the file is never used
    std::strcpy(r.ServerName, "blender-1");
    r.DisplayUnits = settings::kUnitsMetric;
    writeFile(image(r));
    load();

    EXPECT_EQ(PumpTable[0].ConfiguredComPort, 1);
    EXPECT_EQ(PumpTable[23].ConfiguredComPort, 24);
    EXPECT_EQ(PumpTable[24].ComPort, 30);
    EXPECT_EQ(PumpTable[0].ComPort, 0);  // pumps get their port when the ports are opened
    EXPECT_EQ(PumpTable[12].RpmStepLarge, 150);
    EXPECT_EQ(PumpTable[24].RpmStepSmall, 30);
    EXPECT_EQ(ComTimeout, 0.001);
    EXPECT_STREQ(Config.ServerName, "blender-1");
    // The loaded units are shown on every bank.
    EXPECT_EQ(
        ui::GetCtrlAttributeText(BankPanel[2], BankRow[17][kPosDischarge], ui::ATTR_UNITS_LABEL),
        "MPa");
    EXPECT_TRUE(checked(BankPanel[1], MENU_UNITS_METRIC));
    EXPECT_EQ(saved().ComTimeout, 5.0) << "nothing is written back at start-up";
}

TEST_F(Configuration, RefreshIntervalIsOneTwoOrFourSecondsOnTheTimerAndEveryMenuBar) {
    for (double stored : {3.0, 0.5, 2.0, 4.0}) {
        settings::ConfigRecord r = valid();
        r.RefreshInterval = stored;
        writeFile(image(r));
        load();
        const double expected = (stored == 2.0 || stored == 4.0) ? stored : 1.0;
        EXPECT_EQ(Config.RefreshInterval, expected) << stored;
        EXPECT_EQ(ui::GetCtrlAttributeDouble(BankPanel[0], BANK_TMR_DISPLAY, ui::ATTR_INTERVAL),
                  expected);
        EXPECT_EQ(checked(BankPanel[0], MENU_REFRESH_1S), expected == 1.0) << stored;
        EXPECT_EQ(checked(BankPanel[0], MENU_REFRESH_4S), expected == 4.0) << stored;
    }

    ui::SelectMenu(ui::FindPanel(BankPanel[1])->menuBar, MENU_REFRESH_2S, BankPanel[1]);
    EXPECT_EQ(Config.RefreshInterval, 2.0);
    for (int panel : {BankPanel[0], BankPanel[1], BankPanel[2], DetailPanel}) {
        EXPECT_FALSE(checked(panel, MENU_REFRESH_4S));
        EXPECT_TRUE(checked(panel, MENU_REFRESH_2S));
        EXPECT_TRUE(checked(panel, MENU_UNITS_US)) << "the units keep their tick";
    }
    // An interval below one second, or none at all, is raised.
    for (double odd : {0.25, std::nan("")}) {
        Config.RefreshInterval = odd;
        ApplyRefreshInterval();
        EXPECT_EQ(Config.RefreshInterval, 1.0);
    }
}

std::vector<std::pair<int, int>> g_joined;
void recordJoin(int pump, int group) {
    g_joined.emplace_back(pump, group);
}

TEST_F(Configuration, ValidGroupsReachSelectorsMemberListsAndClearTheirAutoBoxes) {
    settings::ConfigRecord r = valid();
    r.PumpGroup[20] = 5;
    r.PumpGroup[2] = 5;
    r.PumpGroup[9] = 0;
    r.PumpGroup[11] = 200;  // damaged: no such group
    r.AutoSelected[2] = 1;  // grouped and "Auto": the group wins
    r.AutoSelected[4] = 1;
    writeFile(image(r));
    g_joined.clear();
    AddGroupMemberHook(recordJoin);
    load();

    EXPECT_EQ((std::vector<std::pair<int, int>>{{2, 5}, {9, 0}, {20, 5}}), g_joined);
    EXPECT_EQ(ui::GetCtrlInt(BankPanel[2], BankRow[20][kPosGroup]), 5);
    EXPECT_EQ(ui::GetCtrlInt(BankPanel[1], BankRow[9][kPosGroup]), 0);
    EXPECT_EQ(PumpTable[11].PumpGroup, kNoGroup);
    EXPECT_EQ(PumpTable[2].AutoSelected, 0);
    EXPECT_EQ(ui::GetCtrlInt(BankPanel[0], BankRow[2][kPosAuto]), 0);
    EXPECT_EQ(PumpTable[4].AutoSelected, 1);
    EXPECT_EQ(ui::GetCtrlInt(BankPanel[0], BankRow[4][kPosAuto]), 1);
}

TEST_F(Configuration, SavingKeepsTheLowEightBitsOfPortsAndSignExtendsSteps) {
    load();
    PumpTable[3].ConfiguredComPort = 300;
    PumpTable[24].ComPort = 260;
    PumpTable[5].RpmStepLarge = -1;
    PumpTable[24].RpmStepSmall = -2;
    PumpTable[6].PumpGroup = 3;
    PumpTable[8].AutoSelected = 1;
    SaveConfiguration();

    const settings::ConfigRecord r = saved();
    EXPECT_EQ(r.PumpComPort[3], 44);
    EXPECT_EQ(r.OutputComPort, 4);
    EXPECT_EQ(r.RpmStepLarge[5], -1);
    EXPECT_EQ(r.RpmStepSmall[24], -2);
    EXPECT_EQ(r.PumpGroup[6], 3);
    EXPECT_EQ(r.AutoSelected[8], 1);

    load();  // what the next start sees: a step out of 1-1000 is not taken, and said so
    EXPECT_EQ(PumpTable[3].ConfiguredComPort, 44);
    EXPECT_EQ(PumpTable[5].RpmStepLarge, 100);
    EXPECT_EQ(PumpTable[5].RpmStepSmall, 25);
    EXPECT_EQ(popups.count("Speed Steps"), 1);
    EXPECT_EQ(PumpTable[6].PumpGroup, 3);
    EXPECT_EQ(PumpTable[8].AutoSelected, 1);
}

}  // namespace
