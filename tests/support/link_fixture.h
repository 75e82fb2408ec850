// A fresh pump link for each test: the SimFixture world plus simulated serial lines, every
// link module reset, and helpers to put pumps on lines, feed them bytes and read back what
// the station sent. Packets the tests feed are framed by the simulator's own wire code, so
// the station's framing is checked against an independent implementation.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "link/operations.h"
#include "link/protocol.h"
#include "link/pump_session.h"
#include "link/pump_table.h"
#include "link/tx_queue.h"
#include "platform/serial.h"
#include "platform/sim/sim_serial.h"
#include "pumpsim_wire.h"
#include "support/sim_fixture.h"

using namespace pumplink;

// Failure messages name the codes.
inline void PrintTo(WireCode code, std::ostream* os) {
    *os << WireCodeName(code) << " (" << static_cast<int>(code) << ")";
}
inline void PrintTo(PacketType type, std::ostream* os) {
    *os << "type " << static_cast<int>(type);
}

namespace linktest {

struct Sent {
    PacketType type = PacketType::Ack;
    WireCode code = WireCode::DataRecord;
    int arg1 = -1;
    int arg2 = -1;
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> raw;
};

// Splits what the station wrote into packets, checking each one's framing and CRC with the
// simulator's implementation.
inline std::vector<Sent> splitSent(const std::vector<std::uint8_t>& b) {
    std::vector<Sent> out;
    std::size_t i = 0;
    while (i < b.size()) {
        if (b.size() - i < pumpsim::kOverhead || b[i] != pumpsim::kStartByte ||
            b[i + 1] != pumpsim::kSecondStartByte || b[i + 2] != pumpsim::kStationHdr2 ||
            b[i + 3] != pumpsim::kStationHdr3) {
            ADD_FAILURE() << "no station packet at byte " << i;
            break;
        }
        const std::size_t len = b[i + 7] + pumpsim::kOverhead;
        if (b.size() - i < len) {
            ADD_FAILURE() << "truncated packet at byte " << i;
            break;
        }
        Sent s;
        s.raw.assign(b.begin() + static_cast<std::ptrdiff_t>(i),
                     b.begin() + static_cast<std::ptrdiff_t>(i + len));
        EXPECT_EQ(pumpsim::crc16(s.raw), 0) << "CRC of the packet at byte " << i;
        s.type = static_cast<PacketType>(b[i + 4] >> 6);
        s.code = static_cast<WireCode>(b[i + 4] & 0x3F);
        s.arg1 = b[i + 5];
        s.arg2 = b[i + 6];
        s.data.assign(s.raw.begin() + pumpsim::kHeaderSize, s.raw.end() - 2);
        out.push_back(std::move(s));
        i += len;
    }
    return out;
}

// A packet as a controller frames it (header 01 00 unless given).
inline std::vector<std::uint8_t> reply(int type, int code, int arg1,
                                       std::vector<std::uint8_t> data = {},
                                       std::uint8_t hdr3 = 0x00) {
    pumpsim::Packet p;
    p.type = static_cast<std::uint8_t>(type);
    p.code = static_cast<std::uint8_t>(code);
    p.arg1 = static_cast<std::uint8_t>(arg1);
    p.data = std::move(data);
    return pumpsim::encodePacket(p, 0x01, hdr3);
}
inline std::vector<std::uint8_t> reply(PacketType type, WireCode code, int arg1 = 0,
                                       std::vector<std::uint8_t> data = {}) {
    return reply(static_cast<int>(type), static_cast<int>(code), arg1, std::move(data));
}
// The data reply that carries a block.
inline std::vector<std::uint8_t> dataReply(WireCode code, std::vector<std::uint8_t> data,
                                           int arg1 = 0) {
    return reply(PacketType::Data, code, arg1, std::move(data));
}
// An acknowledgement: any good packet answers the packet in flight.
inline std::vector<std::uint8_t> ack() {
    return reply(PacketType::Ack, WireCode::Speed);
}

// An 88-byte data record (field offsets: record:: in link/protocol.h).
struct Record {
    std::vector<std::uint8_t> b = std::vector<std::uint8_t>(kDataRecordSize, 0);
    Record& f32(std::size_t at, float v) {
        pumpsim::putF32(b, at, v);
        return *this;
    }
    Record& u16(std::size_t at, std::uint16_t v) {
        pumpsim::putU16(b, at, v);
        return *this;
    }
    Record& u8(std::size_t at, std::uint8_t v) {
        b.at(at) = v;
        return *this;
    }
    std::vector<std::uint8_t> packet() const { return dataReply(WireCode::DataRecord, b); }
};

}  // namespace linktest

class LinkFixture : public SimFixture {
  protected:
    void SetUp() override {
        SimFixture::SetUp();
        platform::setSerialBackEnd(&serial);
        ResetLink();
    }
    void TearDown() override {
        ResetLink();
        platform::setSerialBackEnd(nullptr);
        SimFixture::TearDown();
    }

    static int portOf(int pump) { return pump + 1; }

    // The pump on COM(pump + 1): the port open with the receive callback, polled.
    void attach(int pump) {
        const int port = portOf(pump);
        serial.addPort(port);
        ASSERT_EQ(platform::OpenComConfig(port, "", 19200, 0, 8, 1, 512, 512), platform::kComOk);
        platform::InstallComCallback(port, platform::kEventCharReceived, 0, 1,
                                     SerialReceiveCallback, nullptr);
        PumpTable[pump].ComPort = port;
        PumpTable[pump].ConfiguredComPort = port;
        PumpTable[pump].PortConfig.Mode = 1;
    }

    // Bytes arrive on the pump's port in one piece and the receive callback runs.
    void feed(int pump, const std::vector<std::uint8_t>& bytes) {
        serial.arriveNow(portOf(pump), bytes);
        loop.processEvents();
    }

    // Brings an attached pump on line with a first data record, and forgets what that sent.
    void bringOnline(int pump, const linktest::Record& rec = {}) {
        feed(pump, rec.packet());
        ASSERT_EQ(PumpTable[pump].Online, 1);
        drainQueue(pump);
    }

    // Answers whatever the pump's queue holds until it is empty; returns what was sent.
    std::vector<linktest::Sent> drainQueue(int pump) {
        std::vector<linktest::Sent> all;
        for (int guard = 0; guard < 64; ++guard) {
            auto sent = linktest::splitSent(serial.takeWritten(portOf(pump)));
            all.insert(all.end(), sent.begin(), sent.end());
            if (QueuedItems(pump) == 0) break;
            feed(pump, linktest::ack());
        }
        return all;
    }

    std::vector<linktest::Sent> sent(int pump) {
        return linktest::splitSent(serial.takeWritten(portOf(pump)));
    }

    // A panel with one timer control running cb, enabled at the given interval.
    int timerPanel(ui::CtrlCallback cb, double interval, int* control = nullptr) {
        const int panel = ui::NewPanel(0, "timers", 0, 0, 100, 100);
        const int id = nextTimerId_++;
        ui::AddCtrl(panel, id, ui::CTRL_TIMER, "", 0, 0);
        ui::InstallCtrlCallback(panel, id, cb);
        ui::SetCtrlAttribute(panel, id, ui::ATTR_INTERVAL, interval);
        ui::SetCtrlAttribute(panel, id, ui::ATTR_ENABLED, 1);
        if (control != nullptr) *control = id;
        return panel;
    }

    platform::SimSerial serial;

  private:
    int nextTimerId_ = 100;
};
