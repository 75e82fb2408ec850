// Framing, CRC and the receive assembler: what gets through, what is dropped, and what a
// good packet does to the pump's state and queue.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/link_fixture.h"

using linktest::Record;
using linktest::reply;
using linktest::Sent;

namespace {

std::vector<std::vector<std::uint8_t>> g_tapped;
void tap(int, const std::uint8_t* packet, int length) {
    g_tapped.emplace_back(packet, packet + length);
}

class DirectControl : public LinkFixture {
  protected:
    void SetUp() override {
        LinkFixture::SetUp();
        g_tapped.clear();
        SetPacketTap(tap);
        attach(0);
    }
    Record sample() const {
        Record r;
        r.f32(0, 420.0f).f32(8, 5000.0f).f32(52, 1234.5f).u16(68, 0x0020).u16(78, 9000);
        return r;
    }
};

TEST(Crc, CheckValueAndSelfCheck) {
    const char* text = "123456789";
    EXPECT_EQ(Crc16(reinterpret_cast<const std::uint8_t*>(text), 9), 0x31C3);
    // A framed packet run through the CRC with its own CRC bytes comes out 0.
    auto packet = reply(2, 0x18, 0, std::vector<std::uint8_t>(88, 0x5A));
    EXPECT_EQ(Crc16(packet.data(), packet.size()), 0);
    packet[20] ^= 0x01;
    EXPECT_NE(Crc16(packet.data(), packet.size()), 0);
}

TEST_F(DirectControl, ShortAndDataCommandsAreFramedByteForByte) {
    SendShortCommand(0, 0x18, 0);
    auto bytes = serial.takeWritten(1);
    ASSERT_EQ(bytes.size(), 10u);
    const std::vector<std::uint8_t> head = {0x16, 0x01, 0xFF, 0x01, 0x58, 0x00, 0x00, 0x00};
    EXPECT_TRUE(std::equal(head.begin(), head.end(), bytes.begin()));
    const std::uint16_t crc = pumpsim::crc16(std::span<const std::uint8_t>(bytes.data(), 8));
    EXPECT_EQ(bytes[8], crc >> 8);  // high byte first
    EXPECT_EQ(bytes[9], crc & 0xFF);

    AnswerReceived(0);
    const std::uint8_t data[3] = {7, 8, 9};
    SendDataCommand(0, 0x36, 5, 6, data, 3);
    auto packets = linktest::splitSent(serial.takeWritten(1));
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].raw[4], 0xC0 + 0x36);
    EXPECT_EQ(packets[0].arg1, 5);
    EXPECT_EQ(packets[0].arg2, 6);
    EXPECT_EQ(packets[0].data, std::vector<std::uint8_t>({7, 8, 9}));

    // No port: nothing is built or queued.
    PumpTable[1].ComPort = 0;
    EXPECT_EQ(SendShortCommand(1, 0x18, 0), 0);
    EXPECT_EQ(QueuedItems(1), 0);
}

TEST_F(DirectControl, PacketSplitAtEveryByteBoundaryAssemblesAsWhole) {
    const auto packet = sample().packet();
    feed(0, packet);
    ASSERT_EQ(g_tapped.size(), 1u);
    const float rate = PumpTable[0].PumpRate;
    ASSERT_NEAR(rate, 10.0f, 1e-5);

    for (std::size_t cut = 1; cut < packet.size(); ++cut) {
        ResetLink();
        SetPacketTap(tap);
        g_tapped.clear();
        attach(0);
        feed(0, {packet.begin(), packet.begin() + static_cast<std::ptrdiff_t>(cut)});
        EXPECT_TRUE(g_tapped.empty()) << "complete before its last byte, cut " << cut;
        feed(0, {packet.begin() + static_cast<std::ptrdiff_t>(cut), packet.end()});
        ASSERT_EQ(g_tapped.size(), 1u) << "cut " << cut;
        EXPECT_EQ(g_tapped[0], packet);
        EXPECT_EQ(PumpTable[0].Online, 1);
        EXPECT_EQ(PumpTable[0].PumpRate, rate);
        EXPECT_EQ(PumpTable[0].TripPressure, 9000.0f);
    }

    // And one byte per callback.
    ResetLink();
    SetPacketTap(tap);
    g_tapped.clear();
    attach(0);
    for (std::uint8_t b : packet) feed(0, {b});
    ASSERT_EQ(g_tapped.size(), 1u);
    EXPECT_EQ(PumpTable[0].PumpRate, rate);
}

TEST_F(DirectControl, HuntSkipsNoiseButAStrayStartSwallowsTheNextByte) {
    const auto packet = reply(0, 0x1A, 0);
    // Noise without a start byte before the packet is skipped.
    std::vector<std::uint8_t> noisy = {0x00, 0x01, 0xFF, 0x55};
    noisy.insert(noisy.end(), packet.begin(), packet.end());
    feed(0, noisy);
    EXPECT_EQ(g_tapped.size(), 1u);

    // 0x16 0x00 then the packet: the 0x00 resets the hunt, the packet is found.
    g_tapped.clear();
    std::vector<std::uint8_t> stray = {0x16, 0x00};
    stray.insert(stray.end(), packet.begin(), packet.end());
    feed(0, stray);
    EXPECT_EQ(g_tapped.size(), 1u);

    // 0x16 directly before the packet: its own 0x16 is the failing second byte and is
    // dropped, not taken as a start, so the packet is lost.
    g_tapped.clear();
    std::vector<std::uint8_t> doubled = {0x16};
    doubled.insert(doubled.end(), packet.begin(), packet.end());
    feed(0, doubled);
    EXPECT_TRUE(g_tapped.empty());
    // The hunt is clean again afterwards.
    feed(0, packet);
    EXPECT_EQ(g_tapped.size(), 1u);
}

TEST_F(DirectControl, HeaderByteThreeMustBeZeroOneOrFF) {
    for (int b3 : {0x00, 0x01, 0xFF}) {
        g_tapped.clear();
        feed(0, reply(0, 0x1A, 0, {}, static_cast<std::uint8_t>(b3)));
        EXPECT_EQ(g_tapped.size(), 1u) << "byte 3 = " << b3;
    }
    g_tapped.clear();
    feed(0, reply(0, 0x1A, 0, {}, 0x02));  // good CRC, rejected at byte 3
    EXPECT_TRUE(g_tapped.empty());
    EXPECT_EQ(PortState[0].Count, 0);
}

TEST_F(DirectControl, EmptyPacketIsCompleteAfterTenBytes) {
    auto packet = reply(0, 0x1A, 0);
    ASSERT_EQ(packet.size(), 10u);
    feed(0, {packet.begin(), packet.end() - 1});
    EXPECT_TRUE(g_tapped.empty());
    feed(0, {packet.back()});
    ASSERT_EQ(g_tapped.size(), 1u);
    EXPECT_EQ(PortState[0].Count, 0);
    EXPECT_EQ(PortState[0].ExpectedLength, 0xFF);
}

TEST_F(DirectControl, GoodPacketsOfTypesZeroOneThreeAnswerButDoNotBringOnline) {
    for (int type : {0, 1, 3}) {
        SendShortCommand(0, 0x33, 0);  // something in flight
        ASSERT_EQ(QueuedItems(0), 1);
        PumpTable[0].SecondsSinceRx = 9.0f;
        feed(0, reply(type, 0x33, 0));
        EXPECT_EQ(PumpTable[0].SecondsSinceRx, 0.0f) << "type " << type;
        EXPECT_EQ(QueuedItems(0), 0) << "type " << type;
        EXPECT_EQ(TxQueue[0].Deadline, 0.0);
        EXPECT_EQ(PumpTable[0].Online, 0) << "type " << type;
    }
    feed(0, sample().packet());
    EXPECT_EQ(PumpTable[0].Online, 1);
}

TEST_F(DirectControl, BadCrcIsDroppedAndTheNextPacketStillAssembles) {
    auto bad = sample().packet();
    bad[12] ^= 0x40;
    PumpTable[0].SecondsSinceRx = 3.0f;
    feed(0, bad);
    EXPECT_TRUE(g_tapped.empty());
    EXPECT_EQ(PumpTable[0].Online, 0);
    EXPECT_EQ(PumpTable[0].PumpRate, 0.0f);
    EXPECT_EQ(PumpTable[0].SecondsSinceRx, 3.0f);
    feed(0, sample().packet());
    EXPECT_EQ(g_tapped.size(), 1u);
}

TEST_F(DirectControl, OverflowGuards) {
    const auto packet = reply(0, 0x1A, 0);
    // 255 bytes in one read with nothing assembled: all dropped, the good packet too.
    std::vector<std::uint8_t> flood(255 - packet.size(), 0x00);
    flood.insert(flood.end(), packet.begin(), packet.end());
    feed(0, flood);
    EXPECT_TRUE(g_tapped.empty());
    // 254 bytes is still read.
    flood.erase(flood.begin());
    feed(0, flood);
    EXPECT_EQ(g_tapped.size(), 1u);

    // A partial packet plus a read that would reach 255: the read and the partial go.
    g_tapped.clear();
    const auto big = reply(2, 0x32, 0, std::vector<std::uint8_t>(128, 1));
    feed(0, {big.begin(), big.begin() + 100});
    EXPECT_EQ(PortState[0].Count, 100);
    std::vector<std::uint8_t> rest(big.begin() + 100, big.end());
    rest.insert(rest.end(), 155 - rest.size(), 0x00);
    feed(0, rest);
    EXPECT_EQ(PortState[0].Count, 0);
    EXPECT_EQ(PortState[0].ExpectedLength, 0xFF);
    EXPECT_TRUE(g_tapped.empty());

    // More than 500 waiting: both queues emptied, nothing read.
    std::vector<std::uint8_t> huge;
    while (huge.size() <= 500) huge.insert(huge.end(), packet.begin(), packet.end());
    serial.arriveNow(1, huge);  // the callback is posted, not yet run
    EXPECT_GT(platform::GetInQLen(1), 500);
    loop.processEvents();
    EXPECT_EQ(platform::GetInQLen(1), 0);
    EXPECT_TRUE(g_tapped.empty());
}

TEST_F(DirectControl, LengthBytesThatCannotCompleteRestartTheHunt) {
    // A header whose own CRC is zero with a length byte of 254: the expected length wraps
    // to 8, and the bare header would pass for a data reply of 254 stale bytes.
    std::vector<std::uint8_t> header;
    for (int hdr2 = 0; hdr2 < 256 && header.empty(); ++hdr2) {
        for (int arg1 = 0; arg1 < 256; ++arg1) {
            std::vector<std::uint8_t> h = {0x16, 0x01,        static_cast<std::uint8_t>(hdr2),
                                           0x00, 0x80 | 0x18, static_cast<std::uint8_t>(arg1)};
            const std::uint16_t crc = pumpsim::crc16(h);
            if ((crc & 0xFF) != 254) continue;
            h.push_back(static_cast<std::uint8_t>(crc >> 8));
            h.push_back(254);
            ASSERT_EQ(pumpsim::crc16(h), 0);
            header = h;
            break;
        }
    }
    ASSERT_FALSE(header.empty());
    feed(0, reply(2, 0x32, 0, std::vector<std::uint8_t>(128, 0xEE)));
    g_tapped.clear();
    feed(0, header);
    EXPECT_TRUE(g_tapped.empty());
    EXPECT_EQ(PumpTable[0].StatusWord, 0);
    EXPECT_EQ(PortState[0].Count, 0);
}

TEST_F(DirectControl, FirstContactAsksOnceForThrottleAndPumpId) {
    SendShortCommand(0, 0x1B, 0);  // the connect poll in flight
    serial.takeWritten(1);
    feed(0, reply(2, 0x1B, 0, std::vector<std::uint8_t>(44, 0)));
    ASSERT_EQ(PumpTable[0].Online, 1);
    std::vector<int> codes;
    for (int i = 0; i < QueuedItems(0); ++i) codes.push_back(QueuedCode(0, i));
    // Time-outs to this pump, alarm options to every enabled pump, then the two requests.
    EXPECT_EQ(codes, std::vector<int>({0x3C, 0x33, 0x02, 0x1E}));
    const auto all = drainQueue(0);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[2].type, 1);
    EXPECT_EQ(all[2].arg1, 0);
    EXPECT_EQ(all[3].type, 1);

    // Later data replies on line: nothing more.
    feed(0, sample().packet());
    feed(0, sample().packet());
    EXPECT_EQ(QueuedItems(0), 0);
    EXPECT_TRUE(sent(0).empty());
}

TEST_F(DirectControl, ReceiveCallbackServesTheLowestEntryOnThePort) {
    attach(3);
    PumpTable[5].ComPort = portOf(3);  // a port change in progress: two entries hold COM4
    feed(3, sample().packet());
    EXPECT_EQ(PumpTable[3].Online, 1);
    EXPECT_EQ(PumpTable[5].Online, 0);

    // A port no pump holds is not read.
    serial.addPort(40);
    platform::OpenComConfig(40, "", 19200, 0, 8, 1, 512, 512);
    platform::InstallComCallback(40, platform::kEventCharReceived, 0, 1, SerialReceiveCallback,
                                 nullptr);
    serial.arriveNow(40, sample().packet());
    loop.processEvents();
    EXPECT_EQ(platform::GetInQLen(40), 98);

    // While ports are busy the input is thrown away.
    PortsBusy = 1;
    serial.arriveNow(1, sample().packet());
    loop.processEvents();
    EXPECT_EQ(platform::GetInQLen(1), 0);
    EXPECT_EQ(PumpTable[0].Online, 0);
    EXPECT_EQ(SendShortCommand(0, 0x18, 0), 0);  // and nothing is queued
    EXPECT_EQ(QueuedItems(0), 0);
}

TEST_F(DirectControl, OversizedPacketsAreRefused) {
    std::vector<std::uint8_t> data(87, 0);
    EXPECT_EQ(SendDataCommand(0, 0x01, 0, 0, data.data(), 87), -1);
    ASSERT_EQ(popups.count("Send Error"), 1);
    EXPECT_EQ(popups.shown().back().text,
              "The amount of data to Push was too large, data is 101 bytes.");
    // 100-byte item: no popup, but the queue takes at most 99.
    EXPECT_EQ(SendDataCommand(0, 0x01, 0, 0, data.data(), 86), -1);
    EXPECT_EQ(popups.count("Send Error"), 1);
    EXPECT_EQ(QueuedItems(0), 0);
    EXPECT_EQ(SendDataCommand(0, 0x01, 0, 0, data.data(), 85), 1);
    EXPECT_EQ(QueuedItems(0), 1);
    // N is taken modulo 256.
    AnswerReceived(0);
    serial.takeWritten(1);
    SendDataCommand(0, 0x01, 0, 0, data.data(), 256 + 3);
    auto packets = sent(0);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].data.size(), 3u);
}

TEST_F(DirectControl, TransmitOfAnImpossibleLengthIsDiscardedWithTwoPopups) {
    TxHandOver.Length = 300;
    const double before = loop.now();
    TransmitPacket(0);
    EXPECT_TRUE(serial.takeWritten(1).empty());
    ASSERT_EQ(popups.shown().size(), 2u);
    EXPECT_EQ(popups.shown()[0].title, "Transmit buffer overflow, packet discarded");
    EXPECT_EQ(popups.shown()[1].title, "Transmit buffer length requested was 300 bytes");
    EXPECT_EQ(popups.shown()[1].text, "Error");
    EXPECT_NEAR(loop.now() - before, 1.25, 1e-9);
    EXPECT_EQ(TxHandOver.Length, 0);
}

}  // namespace
