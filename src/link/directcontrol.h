// Packet framing of the pump link: the CRC, the receive assembler that turns the bytes
// arriving on a pump's port into checked packets, the first dispatch of a checked packet,
// and the framing of outgoing short and data commands on their way to the pump's transmit
// queue and out of it to the port.
//
// Packet (both directions): 16 01 h2 h3 | type<<6 | code | arg1 | arg2 | N | N data | CRC hi lo
// The CRC (polynomial 0x1021, initial 0, no reflection, no final XOR) runs over the whole
// packet on reception, its own two bytes included, and must come out 0.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/pump_table.h"

constexpr std::uint8_t kStartByte = 0x16;
constexpr std::uint8_t kSecondStartByte = 0x01;
constexpr int kPacketOverhead = 10;  // 8 header bytes and the CRC
constexpr int kHeaderSize = 8;

// Packet types, bits 7-6 of byte 4.
enum PacketType {
    kTypeAck = 0,      // controller: acknowledgement
    kTypeShort = 1,    // station: request without data; controller: accepted
    kTypeData = 2,     // controller: data reply
    kTypeCommand = 3,  // station: command with data; controller: accepted
};

// More than this many bytes waiting on a port means the line is flooding: both queues are
// emptied rather than read.
constexpr int kMaxWaiting = 500;
// An assembly never grows to this many bytes: a read that would take it there is dropped.
constexpr int kAssemblyLimit = 255;
// The longest packet the assembler can complete (N at most 244).
constexpr int kMaxPacketLength = kAssemblyLimit - 1;
constexpr int kMaxTransmitLength = kRxBufferSize;

// Set while ports are being closed or opened: bytes that arrive are thrown away and nothing
// is queued.
extern std::int32_t PortsBusy;

std::uint16_t CrcUpdate(std::uint16_t crc, std::uint8_t byte);
std::uint16_t Crc16(const std::uint8_t* data, std::size_t count);

// Count 0 and Buffer[0] 0; the full reset also forgets the expected length and the CRC.
void ResetAssembly(int entry);
void FullResetAssembly(int entry);

// The receive callback every pump port is installed with (InstallComCallback).
void SerialReceiveCallback(int port, int eventMask, void* data);
// Reads what waits on the entry's port and runs it through the assembler.
void ReceivePackets(int entry);
// The assembler proper, on bytes already read from the entry's port. A read that would
// take the assembly to kAssemblyLimit bytes is dropped whole.
void AssembleBytes(int entry, const std::uint8_t* bytes, int count);
// Acts on the complete packet in the entry's buffer: 1 when it was a data reply.
int DispatchPacket(int entry);

// Frame a command and queue it for the entry. Both do nothing and return 0 when the entry
// has no port; otherwise they return what PushPacket returns.
int SendShortCommand(int entry, int code, int argument1);
int SendDataCommand(int entry, int code, int argument1, int argument2, const void* data, int n);
// packet: an i32 length followed by that many packet bytes. Returns QueueWrite's result,
// 0 when ports are busy, -1 when the item is too large (after the "Send Error" popup).
int PushPacket(int entry, const std::uint8_t* packet, int code);

// The packet the transmit queue hands over to TransmitPacket.
struct TxHandOverRecord {
    std::int32_t Length = 0;
    std::uint8_t Packet[kMaxTransmitLength] = {};
};
extern TxHandOverRecord TxHandOver;
// Writes the handed-over packet to the entry's port and clears the hand-over.
void TransmitPacket(int entry);

// Sees every packet the assembler accepts, just before it is dispatched (fuzzing,
// benchmarks, traces). Null: none.
using PacketTap = void (*)(int entry, const std::uint8_t* packet, int length);
void SetPacketTap(PacketTap tap);

// Start-of-run state: ports not busy, every assembly fully reset, no tap.
void ResetDirectControl();
