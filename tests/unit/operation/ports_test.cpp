// Opening and assigning pump ports, the serial monitor, and the serial data output.
#include <gtest/gtest.h>

#include <string>

#include "link/comcfg.h"
#include "link/serial_output.h"
#include "operation/port_monitor.h"
#include "support/link_fixture.h"
#include "ui/windows/serial_monitor.h"
#include "ui/windows/window_support.h"

using namespace pumplink;
using namespace operation;

namespace {

class Ports : public LinkFixture {
  protected:
    void SetUp() override {
        LinkFixture::SetUp();
        ResetComCfg();
        ResetPortMonitor();
        LinkHooks hooks;
        InstallPortMonitor(hooks);
        SetLinkHooks(hooks);
        windows::ClearCallbackBindings();
        windows::BindCtrlCallback("WaitForPorts", WaitForPorts);
        BindPortMonitorCallbacks();
        windows::RegisterWindowDefinitions();
        int wait = 0;
        int panel = timerPanel(WaitForPorts, 1.0, &wait);
        ui::SetCtrlAttribute(panel, wait, ui::ATTR_ENABLED, 0);
        SetPortTimers({panel, wait, 0, 0});
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        ResetPortMonitor();
        ResetComCfg();
        windows::ClearCallbackBindings();
        LinkFixture::TearDown();
    }
    void configure(int pump, int port) {
        PumpTable[pump].ConfiguredComPort = port;
        serial.addPort(port);
    }
    bool selectorHas(int entry, int port) {
        int panel = SerialMonitorPanel();
        int ctrl = windows::SerialPortCtrl(entry);
        for (int i = 0; i < ui::GetNumListItems(panel, ctrl); ++i) {
            ui::SetCtrlIndex(panel, ctrl, i);
            if (ui::GetCtrlInt(panel, ctrl) == port) return true;
        }
        return false;
    }
};

TEST_F(Ports, DuplicateAtStartKeepsTheLowerPump) {
    configure(2, 4);  // pump 3
    configure(4, 4);  // pump 5
    configure(0, 1);
    OpenAllPorts();
    ASSERT_EQ(popups.shown().size(), 1u);
    EXPECT_EQ(popups.shown()[0].title, "Communications Error");
    EXPECT_EQ(
        popups.shown()[0].text,
        "COM4 has been multiply assigned.  Duplicate\nassignments of COM4 will not be opened.\n");
    EXPECT_EQ(PumpTable[2].PortConfig.Mode, 1);
    EXPECT_EQ(PumpTable[4].PortConfig.Mode, 0);
    EXPECT_EQ(PumpTable[0].PortConfig.Mode, 1);
    EXPECT_TRUE(serial.isOpen(4));
    EXPECT_EQ(PumpTable[2].ReconnectRequest, 1);
    EXPECT_EQ(PortsBusy, 0);
}

// A port that is not there holds nobody up: the others open at once, it is reported once,
// and the lost-port timer opens it when its adapter is plugged in.
TEST_F(Ports, MissingPortIsReportedOnceTheOthersOpenAtOnceAndItIsTakenWhenItComes) {
    configure(0, 1);
    PumpTable[8].ConfiguredComPort = 9;  // no such port on the machine
    configure(10, 11);
    double start = loop.now();
    OpenAllPorts();
    EXPECT_LT(loop.now() - start, 0.1) << "nothing was open: nothing to wait for";
    EXPECT_EQ(popups.count("Communications Error"), 1);
    EXPECT_EQ(popups.shown().at(0).text, "COM9 is an invalid port assignment.\n");
    EXPECT_EQ(PumpTable[8].PortConfig.Mode, 0);
    EXPECT_TRUE(PumpTable[8].PortConfig.Lost);
    EXPECT_EQ(PumpTable[0].PortConfig.Mode, 1);
    EXPECT_EQ(PumpTable[10].PortConfig.Mode, 1);
    const auto retry = [] { PortRetryTimer(0, 0, ui::EVENT_TIMER_TICK, nullptr, 0, 0); };
    retry();
    EXPECT_EQ(PumpTable[8].PortConfig.Mode, 0);
    EXPECT_EQ(popups.count("Communications Error"), 1) << "retried quietly";
    serial.addPort(9);
    retry();
    EXPECT_EQ(PumpTable[8].PortConfig.Mode, 1);
    EXPECT_FALSE(PumpTable[8].PortConfig.Lost);
    EXPECT_TRUE(serial.isOpen(9));
    EXPECT_EQ(PumpTable[8].ReconnectRequest, 1) << "polled for first contact";

    serial.addPort(5);
    serial.setOpenResult(5, platform::kComCannotOpen);
    PumpTable[4].ConfiguredComPort = 5;
    popups.clear();
    start = loop.now();
    OpenAllPorts();
    EXPECT_NEAR(loop.now() - start, 1.0, 0.1) << "ports just closed settle for a second";
    ASSERT_EQ(popups.shown().size(), 1u);  // COM5 in use
    EXPECT_EQ(popups.shown()[0].text,
              "Cannot open COM5.  Check if this \nport is in use by another program or device.\n");
    EXPECT_EQ(PumpTable[4].PortConfig.Mode, 0);
    EXPECT_TRUE(PumpTable[4].PortConfig.Lost);
}

TEST_F(Ports, ChoosingAPortAnotherPumpHoldsIsRefused) {
    configure(0, 1);  // pump 1
    configure(6, 7);  // pump 7, higher
    OpenAllPorts();
    Show_Serial_Window(0, 0, nullptr, 0);
    std::vector<std::string> listed;  // the ports there are, highest first, then OFF
    const ui::Control* ring = ui::FindCtrl(SerialMonitorPanel(), windows::SerialPortCtrl(0));
    for (const ui::ListItem& item : ring->items) listed.push_back(item.label);
    EXPECT_EQ(listed, (std::vector<std::string>{"COM7", "COM1", "OFF"}));
    popups.clear();
    ui::Operate(SerialMonitorPanel(), windows::SerialPortCtrl(0), 7.0);
    ASSERT_EQ(popups.count("Communications Error"), 1);
    EXPECT_NE(popups.shown()[0].text.find("COM7 has been multiply assigned"), std::string::npos);
    EXPECT_EQ(PumpTable[0].PortConfig.Mode, 0);
    EXPECT_EQ(PumpTable[6].PortConfig.Mode, 1);
    EXPECT_TRUE(serial.isOpen(7));
    EXPECT_EQ(ui::GetCtrlInt(SerialMonitorPanel(), windows::SerialOpenLed(0)), 0);
    EXPECT_EQ(ui::GetCtrlInt(SerialMonitorPanel(), windows::SerialOpenLed(6)), 1);
}

TEST_F(Ports, OffInTheMonitorClosesThePortAndTakesThePumpOffLine) {
    attach(1);
    bringOnline(1);
    PumpTable[1].PortConfig.Mode = 1;
    Show_Serial_Window(0, 0, nullptr, 0);
    ui::Operate(SerialMonitorPanel(), windows::SerialPortCtrl(1), 0.0);
    EXPECT_EQ(PumpTable[1].Online, 0);
    EXPECT_EQ(PumpTable[1].ConfiguredComPort, 0);
    EXPECT_EQ(PumpTable[1].PortConfig.Mode, 0);
    EXPECT_FALSE(serial.isOpen(2));
    EXPECT_FALSE(PumpRowEnabled(1));
    EXPECT_TRUE(popups.shown().empty());
}

// Pumps 3 and 5 both on COM4, which fails for pump 3: the duplicate is reported all the same,
// and pump 5 never opens COM4: not at start, not when the port appears later (tried again by
// the port retry or chosen again in COM Port Setup), not while pump 3 waits for it after
// holding it. Pump 3 keeps the assignment, waits for the port from the start and, holding
// it, takes its bytes.
TEST_F(Ports, APortGivenToALowerPumpNeverOpensForAHigherOneEvenWhenItFailed) {
    configure(2, 4);
    configure(4, 4);
    serial.setOpenResult(4, platform::kComCannotOpen);
    OpenAllPorts();
    ASSERT_EQ(popups.shown().size(), 2u);
    EXPECT_EQ(popups.shown()[0].text,
              "Cannot open COM4.  Check if this \nport is in use by another program or device.\n");
    EXPECT_EQ(
        popups.shown()[1].text,
        "COM4 has been multiply assigned.  Duplicate\nassignments of COM4 will not be opened.\n");
    EXPECT_EQ(PumpTable[4].PortConfig.Mode, 0);

    serial.setOpenResult(4, platform::kComOk);  // the adapter is plugged in
    Show_Serial_Window(0, 0, nullptr, 0);
    const auto choose = [](int entry) {
        ui::Operate(SerialMonitorPanel(), windows::SerialPortCtrl(entry), 4.0);
    };
    for (int round = 0; round < 2; ++round) {
        popups.clear();
        choose(4);
        EXPECT_EQ(popups.count("Communications Error"), 1) << "round " << round;
        PortRetryTimer(0, 0, ui::EVENT_TIMER_TICK, nullptr, 0, 0);
        EXPECT_EQ(PumpTable[4].PortConfig.Mode, 0) << "round " << round;
        if (round == 0) {
            EXPECT_EQ(PumpTable[2].PortConfig.Mode, 1) << "the lost-port timer took it for pump 3";
            choose(2);  // pump 3 tries it again and holds it; then its adapter is pulled
            ASSERT_EQ(PumpTable[2].PortConfig.Mode, 1);
            serial.unplug(4);
            loop.processEvents();
            ASSERT_TRUE(PumpTable[2].PortConfig.Lost);
            serial.replug(4);
        }
    }
    EXPECT_EQ(PumpTable[2].PortConfig.Mode, 1) << "back for the pump that held it";
    serial.arriveNow(4, linktest::Record{}.packet());
    loop.processEvents();
    EXPECT_EQ(PumpTable[2].Online, 1);
    EXPECT_EQ(PumpTable[4].Online, 0);
}

// Moving an entry off a port it never held must not close that port under the pump that does.
TEST_F(Ports, MovingARefusedPumpLeavesTheHoldersPortOpen) {
    configure(2, 4);
    configure(4, 4);
    serial.addPort(8);
    OpenAllPorts();
    Show_Serial_Window(0, 0, nullptr, 0);
    ui::Operate(SerialMonitorPanel(), windows::SerialPortCtrl(4), 8.0);
    EXPECT_TRUE(serial.isOpen(4));
    EXPECT_EQ(PumpTable[2].PortConfig.Mode, 1);
    EXPECT_EQ(PumpTable[4].PortConfig.Mode, 1);
    EXPECT_TRUE(serial.isOpen(8));
    serial.arriveNow(4, linktest::Record{}.packet());
    loop.processEvents();
    EXPECT_EQ(PumpTable[2].Online, 1);
}

class Output : public Ports {
  protected:
    void SetUp() override {
        Ports::SetUp();
        serial.addPort(25);
        PumpTable[kOutputEntry].ComPort = 25;
        ASSERT_EQ(platform::OpenComConfig(25, "", 19200, 0, 8, 1, 512, 512), platform::kComOk);
        PumpTable[kOutputEntry].PortConfig.Mode = 1;
    }
    std::string line() {
        auto bytes = serial.takeWritten(25);
        return std::string(bytes.begin(), bytes.end());
    }
    void online(int pump, float discharge) {
        PumpRecord& r = PumpTable[pump];
        r.Online = 1;
        r.MotorRpm = 1500.4f;
        r.DischargePressure = discharge;
        r.HydraulicHp = 812.6f;
        r.OilPressure = 61.25f;
        r.OilTemperature = 140.0f;
        r.SuctionPressure = 75.0f;
        r.PumpRpm = 236.2f;
        r.PumpRate = 9.95f;
        r.TotalVolume = 1234.5f;
    }
};

TEST_F(Output, LineHoldsTheTimeAndNineValuesPerPumpOnLine) {
    loop.advance(3723.0);  // 01:02:03
    SerialOutputLine();
    EXPECT_EQ(line(), "01:02:03\r\n");

    online(1, 5123.4f);
    online(4, 4200.0f);
    SerialOutputLine();
    EXPECT_EQ(line(),
              "01:02:03,1500,5123,813,61.2,140,75.0,236,9.9,1234"
              ",1500,4200,813,61.2,140,75.0,236,9.9,1234\r\n");
}

TEST_F(Output, MetricDischargeCarriesTwoDecimalsAndOffWritesNothing) {
    int units = 0;
    LinkHooks hooks;
    hooks.displayUnits = [&units] { return units; };
    SetLinkHooks(hooks);
    online(0, 35.3251f);
    SerialOutputLine();
    EXPECT_NE(line().find(",1500,35,"), std::string::npos);
    units = 1;
    SerialOutputLine();
    EXPECT_NE(line().find(",1500,35.33,"), std::string::npos);

    PumpTable[kOutputEntry].ComPort = 0;
    SerialOutputLine();
    PumpTable[kOutputEntry].ComPort = 25;
    PumpTable[kOutputEntry].PortConfig.Mode = 0;
    SerialOutputLine();
    EXPECT_EQ(line(), "");
}

// Choosing the port a selector already shows is no change: the pump stays on line and its
// port is neither closed nor reopened (which would cost the 1 s settling wait).
TEST_F(Ports, ChoosingTheSamePortAgainChangesNothing) {
    configure(0, 1);
    serial.addPort(25);
    PumpTable[kOutputEntry].ComPort = 25;
    OpenAllPorts();
    bringOnline(0);
    Show_Serial_Window(0, 0, nullptr, 0);
    const double before = loop.now();
    ui::Operate(SerialMonitorPanel(), windows::SerialPortCtrl(0), 1.0);
    ui::Operate(SerialMonitorPanel(), windows::SerialPortCtrl(kOutputEntry), 25.0);
    EXPECT_EQ(loop.now(), before);
    EXPECT_EQ(PumpTable[0].Online, 1);
    EXPECT_TRUE(PumpRowEnabled(0));
    EXPECT_EQ(PumpTable[0].PortConfig.Mode, 1);
    EXPECT_EQ(PumpTable[kOutputEntry].PortConfig.Mode, 1);
    EXPECT_TRUE(serial.isOpen(1));
    EXPECT_TRUE(serial.isOpen(25));
    EXPECT_TRUE(popups.shown().empty());
}

}  // namespace
