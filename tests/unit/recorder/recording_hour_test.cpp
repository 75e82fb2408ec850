// One simulated hour of a full fleet on the real file system: every line reaches every pump
// file once and in order, and Python's csv module reads each file with one field count.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "link/pump_table.h"
#include "operation/display_ids.h"
#include "platform/event_loop.h"
#include "recorder/recorder.h"
#include "support/station_fixture.h"
#include "ui/ui_model.h"
#include "ui/windows/bank_window.h"
#include "ui/windows/menu_bar.h"
#include "ui/windows/window_support.h"

using namespace pumplink;
using namespace operation;
using namespace recorder;

namespace {

using RecordingHour = StationFixture<>;

TEST_F(RecordingHour, EveryPumpFileHasEveryLineOnceInOrder) {
    for (int b = 0; b < kBankCount; ++b)
        BankPanel[b] = ui::LoadPanel(0, windows::kVnkUir, windows::VNK_BANK);
    for (int p = 0; p < kPumpCount; ++p) {
        PumpTable[p].Online = 1;
        PumpTable[p].AlarmWord = static_cast<std::uint16_t>(p % 2 ? 0xFFFF : 0);
        PumpTable[p].TripWord = static_cast<std::uint16_t>(p % 3 ? 0xFFFF : 0);
    }
    const std::string data = (home / "data").string();
    popups.answerFile(data + "/hour.csv");
    const int bar = ui::FindPanel(BankPanel[0])->menuBar;
    ui::SelectMenu(bar, windows::MENU_RECORD_START, BankPanel[0]);
    ASSERT_EQ(RecordState, 1);
    constexpr int kTicks = 3600;
    for (int t = 1; t <= kTicks; ++t) {
        for (int p = 0; p < kPumpCount; ++p) PumpTable[p].TotalVolume = static_cast<float>(t);
        loop.advance(1.0);
        RecordTimer(BankPanel[0], windows::BANK_TMR_RECORD, ui::EVENT_TIMER_TICK, nullptr, 0, 0);
    }
    ui::SelectMenu(bar, windows::MENU_RECORD_START, BankPanel[0]);
    EXPECT_EQ(popups.count("Recording Error"), 0);

    for (int p = 0; p < kPumpCount; ++p) {
        std::ifstream in(data + "/hour_" + std::to_string(p + 1) + ".csv", std::ios::binary);
        std::string line;
        for (int i = 0; i < 4; ++i) std::getline(in, line);
        int t = 0;
        while (std::getline(in, line)) {
            char want[16];
            std::snprintf(want, sizeof want, ",%5.1f,", static_cast<double>(++t));
            ASSERT_NE(line.find(want), std::string::npos) << "pump " << p + 1 << " line " << t;
            ASSERT_EQ(line.back(), '\r');
        }
        EXPECT_EQ(t, kTicks) << "pump " << p + 1;
    }
    if (std::system("python3 -c 'import csv' 2>/dev/null") != 0) GTEST_SKIP() << "no python3";
    const std::string cmd =
        "python3 " VNK_SOURCE_DIR "/scripts/check_recording.py '" + data + "' > /dev/null";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
}

}  // namespace
