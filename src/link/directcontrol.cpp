#include "link/directcontrol.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "link/queue.h"
#include "link/serial_interface.h"
#include "platform/event_loop.h"
#include "platform/serial.h"
#include "ui/popups.h"

std::int32_t PortsBusy = 0;
TxHandOverRecord TxHandOver;

namespace {

constexpr std::array<std::uint16_t, 256> makeCrcTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000u) != 0 ? (crc << 1) ^ 0x1021u : crc << 1;
        table[i] = static_cast<std::uint16_t>(crc);
    }
    return table;
}
constexpr std::array<std::uint16_t, 256> kCrcTable = makeCrcTable();

PacketTap g_tap = nullptr;

bool validEntry(int entry) {
    return entry >= 0 && entry < kTableSize;
}

// The two builders keep their packets apart, each in a buffer of its own kind: an i32
// length, then the packet.
std::uint8_t g_shortPacket[4 + kPacketOverhead];
std::uint8_t g_dataPacket[4 + 255 + kPacketOverhead];

int finishAndPush(int entry, std::uint8_t* framed, int length, int code) {
    std::uint8_t* p = framed + 4;
    std::uint16_t crc = Crc16(p, static_cast<std::size_t>(length - 2));
    p[length - 2] = static_cast<std::uint8_t>(crc >> 8);
    p[length - 1] = static_cast<std::uint8_t>(crc);
    wire::putI32(framed, length);
    return PushPacket(entry, framed, code);
}

void setRxLed(int entry, int on) {
    const LinkHooks& h = GetLinkHooks();
    if (h.setRxLed) h.setRxLed(entry, on);
}

}  // namespace

std::uint16_t CrcUpdate(std::uint16_t crc, std::uint8_t byte) {
    return static_cast<std::uint16_t>(kCrcTable[((crc >> 8) ^ byte) & 0xFF] ^ (crc << 8));
}

std::uint16_t Crc16(const std::uint8_t* data, std::size_t count) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < count; ++i) crc = CrcUpdate(crc, data[i]);
    return crc;
}

void ResetAssembly(int entry) {
    PortState[entry].Count = 0;
    PortState[entry].Buffer[0] = 0;
}

void FullResetAssembly(int entry) {
    ResetAssembly(entry);
    PortState[entry].ExpectedLength = 0xFF;
    PortState[entry].RxCrc = 0;
}

void SerialReceiveCallback(int port, int eventMask, void*) {
    if ((eventMask & platform::kEventCharReceived) == 0) return;
    if (PortsBusy != 0) {
        platform::FlushInQ(port);
        return;
    }
    if (platform::GetInQLen(port) < 1) return;
    // The bytes belong to the one pump that holds the port open. Another entry may still
    // name the port (its open failed or was refused) and must not take them.
    for (int entry = 0; entry < kPumpCount; ++entry) {
        if (PortConfig[entry].Mode == 1 && PumpTable[entry].ComPort == port) {
            ReceivePackets(entry);
            return;
        }
    }
}

void ReceivePackets(int entry) {
    if (!validEntry(entry)) return;
    setRxLed(entry, 0);
    const int port = PumpTable[entry].ComPort;
    const int waiting = platform::GetInQLen(port);
    if (waiting > kMaxWaiting) {
        platform::FlushInQ(port);
        platform::FlushOutQ(port);
        FullResetAssembly(entry);
        return;
    }
    std::uint8_t work[kMaxWaiting];
    int got = 0;
    if (waiting > 0) got = platform::ComRd(port, work, static_cast<std::size_t>(waiting));
    if (got < 0) got = 0;
    if (got > kMaxWaiting) got = kMaxWaiting;
    AssembleBytes(entry, work, got);
}

void AssembleBytes(int entry, const std::uint8_t* bytes, int count) {
    if (!validEntry(entry) || count < 0) return;
    PortStateRecord& ps = PortState[entry];
    if (ps.Count + count >= kAssemblyLimit) {
        FullResetAssembly(entry);
        return;
    }
    setRxLed(entry, 1);

    bool firstContact = false;
    int i = 0;
    while (i < count) {
        if (ps.Count >= kHeaderSize) {
            // Body: no byte rule applies until the packet is complete, so take as much of
            // it as this read holds in one go.
            const int n = std::min(ps.ExpectedLength - ps.Count, count - i);
            std::uint16_t crc = ps.RxCrc;
            std::uint8_t* to = ps.Buffer + ps.Count;
            for (int k = 0; k < n; ++k) {
                const std::uint8_t b = bytes[i + k];
                to[k] = b;
                crc = CrcUpdate(crc, b);
            }
            ps.RxCrc = crc;
            ps.Count += n;
            i += n;
        } else {
            const std::uint8_t b = bytes[i++];
            if (ps.Count == 0) {
                if (b != kStartByte) continue;
            } else if (ps.Count == 1) {
                // The byte is dropped, not tried as a new start byte.
                if (b != kSecondStartByte) {
                    ps.Count = 0;
                    ps.RxCrc = 0;
                    continue;
                }
            } else if (ps.Count == 3) {
                if (b != 0x00 && b != 0x01 && b != 0xFF) {
                    ps.Count = 0;
                    ps.RxCrc = 0;
                    continue;
                }
            } else if (ps.Count == 7) {
                // A packet longer than kMaxPacketLength can never be completed, and lengths
                // 254 and 255 would wrap the expected length to 8 or 9 bytes, turning a
                // bare header into a "packet" whose data is whatever the buffer held before.
                if (b + kPacketOverhead > kMaxPacketLength) {
                    FullResetAssembly(entry);
                    continue;
                }
                ps.ExpectedLength = static_cast<std::uint8_t>(b + kPacketOverhead);
            }
            ps.Buffer[ps.Count++] = b;
            ps.RxCrc = CrcUpdate(ps.RxCrc, b);
        }

        if (ps.Count == ps.ExpectedLength) {
            if (ps.RxCrc == 0) {
                if (g_tap != nullptr) g_tap(entry, ps.Buffer, ps.Count);
                const bool wasOnline = PumpTable[entry].Online != 0;
                const int dataReply = DispatchPacket(entry);
                if (dataReply == 1 && !wasOnline) {
                    firstContact = true;
                    PumpCameOnline(entry);
                }
                ps.ExpectedLength = 0xFF;
                ResetAssembly(entry);
                if (dataReply == 1) PumpTable[entry].Online = 1;
                NoteGoodPacket(entry);
            } else {
                FullResetAssembly(entry);
            }
        } else if (ps.ExpectedLength < ps.Count) {
            FullResetAssembly(entry);
        }
    }

    if (firstContact) {
        SendShortCommand(entry, 0x02, 0);  // throttle configuration: MaxRpm and MinRpm
        SendShortCommand(entry, 0x1E, 0);  // pump identification
    }
}

int DispatchPacket(int entry) {
    if (!validEntry(entry)) return 0;
    std::uint8_t* buf = PortState[entry].Buffer;
    const int type = buf[4] >> 6;
    if (type == kTypeData) {
        DecodeDataReply(entry, buf[4] & 0x3F, buf[5], buf[7], &buf[kHeaderSize]);
        ResetAssembly(entry);
        AnswerReceived(entry);
        return 1;
    }
    AnswerReceived(entry);
    ResetAssembly(entry);
    return 0;
}

int SendShortCommand(int entry, int code, int argument1) {
    if (!validEntry(entry) || PumpTable[entry].ComPort == 0) return 0;
    std::uint8_t* p = g_shortPacket + 4;
    p[0] = kStartByte;
    p[1] = kSecondStartByte;
    p[2] = 0xFF;
    p[3] = 0x01;
    p[4] = static_cast<std::uint8_t>(0x40 + (code & 0x3F));
    p[5] = static_cast<std::uint8_t>(argument1);
    p[6] = 0;
    p[7] = 0;
    return finishAndPush(entry, g_shortPacket, kPacketOverhead, code);
}

int SendDataCommand(int entry, int code, int argument1, int argument2, const void* data, int n) {
    if (!validEntry(entry) || PumpTable[entry].ComPort == 0) return 0;
    const int len = n & 0xFF;
    std::uint8_t* p = g_dataPacket + 4;
    p[0] = kStartByte;
    p[1] = kSecondStartByte;
    p[2] = 0xFF;
    p[3] = 0x01;
    p[4] = static_cast<std::uint8_t>(0xC0 + (code & 0x3F));
    p[5] = static_cast<std::uint8_t>(argument1);
    p[6] = static_cast<std::uint8_t>(argument2);
    p[7] = static_cast<std::uint8_t>(len);
    if (len > 0) {
        if (data != nullptr)
            std::memcpy(p + kHeaderSize, data, static_cast<std::size_t>(len));
        else
            std::memset(p + kHeaderSize, 0, static_cast<std::size_t>(len));
    }
    return finishAndPush(entry, g_dataPacket, len + kPacketOverhead, code);
}

int PushPacket(int entry, const std::uint8_t* packet, int code) {
    if (PortsBusy != 0) return 0;
    const int size = wire::getI32(packet) + 4;
    if (size > kQueueItemSize) {
        char text[96];
        std::snprintf(text, sizeof text,
                      "The amount of data to Push was too large, data is %d bytes.", size);
        ui::MessagePopup("Send Error", text);
        return -1;
    }
    return QueueWrite(entry, packet, size, code);
}

void TransmitPacket(int entry) {
    const int length = TxHandOver.Length;
    if (length < 0 || length > kMaxTransmitLength) {
        ui::MessagePopup("Transmit buffer overflow, packet discarded", "Error");
        platform::Delay(1.25);
        char title[96];
        std::snprintf(title, sizeof title, "%s%d%s", "Transmit buffer length requested was ",
                      length, " bytes");
        ui::MessagePopup(title, "Error");
    } else if (length > 0 && validEntry(entry)) {
        platform::ComWrt(PumpTable[entry].ComPort, TxHandOver.Packet,
                         static_cast<std::size_t>(length));
    }
    TxHandOver.Length = 0;
}

void SetPacketTap(PacketTap tap) {
    g_tap = tap;
}

void ResetDirectControl() {
    PortsBusy = 0;
    g_tap = nullptr;
    TxHandOver = TxHandOverRecord{};
    for (int entry = 0; entry < kTableSize; ++entry) FullResetAssembly(entry);
}
