#include "platform/sim/sim_serial.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/event_loop.h"

namespace platform {

namespace {
// The station's written bytes kept for takeWritten when no one takes them.
constexpr std::size_t kWrittenLimit = 1 << 20;
}  // namespace

SimSerial::Line* SimSerial::line(int port) {
    auto it = lines_.find(port);
    return it == lines_.end() ? nullptr : &it->second;
}

const SimSerial::Line* SimSerial::line(int port) const {
    auto it = lines_.find(port);
    return it == lines_.end() ? nullptr : &it->second;
}

void SimSerial::addPort(int port) {
    lines_.try_emplace(port);
}

void SimSerial::removePort(int port) {
    lines_.erase(port);
}

void SimSerial::setOpenResult(int port, int result) {
    if (Line* l = line(port)) l->openResult = result;
}

bool SimSerial::isOpen(int port) const {
    const Line* l = line(port);
    return l != nullptr && l->open;
}

void SimSerial::setChunkSize(int port, std::size_t bytes) {
    if (Line* l = line(port)) l->chunk = std::max<std::size_t>(1, bytes);
}

void SimSerial::deliver(int port, const std::vector<std::uint8_t>& bytes) {
    Line* l = line(port);
    if (l == nullptr || !l->open || l->hungUp || l->unplugged) return;
    for (std::uint8_t b : bytes) {
        if (l->in.size() >= l->inCapacity) {
            ++l->overflow;
            continue;
        }
        l->in.push_back(b);
    }
    if (l->callback != nullptr && (l->eventMask & kEventCharReceived) != 0) {
        const std::uint64_t generation = l->inGeneration;
        loop().post(0.0, [this, port, generation]() {
            Line* now = line(port);
            if (now == nullptr || !now->open || now->callback == nullptr ||
                now->inGeneration != generation)
                return;
            now->callback(port, kEventCharReceived, now->callbackData);
        });
    }
}

void SimSerial::scheduleArrival(int port, std::vector<std::uint8_t> bytes, double at) {
    Line* l = line(port);
    if (l == nullptr) return;
    const std::uint64_t generation = l->inGeneration;
    const double delay = std::max(0.0, at - loop().now());
    loop().post(delay, [this, port, generation, b = std::move(bytes)]() {
        Line* now = line(port);
        if (now == nullptr || now->inGeneration != generation) return;
        deliver(port, b);
    });
}

void SimSerial::farEndSend(int port, const std::uint8_t* data, std::size_t count) {
    Line* l = line(port);
    if (l == nullptr || l->hungUp || l->unplugged || count == 0) return;
    const double start = std::max(loop().now(), l->toStationFreeAt);
    farEndSendTimed(port, data, count, start + static_cast<double>(count) * kByteTime);
}

void SimSerial::farEndSendTimed(int port, const std::uint8_t* data, std::size_t count,
                                double lastByteAt) {
    Line* l = line(port);
    if (l == nullptr || l->hungUp || l->unplugged || count == 0) return;
    // Byte i has crossed at lastByteAt - (count - 1 - i) byte times; a chunk arrives with its
    // last byte.
    for (std::size_t from = 0; from < count; from += l->chunk) {
        const std::size_t to = std::min(count, from + l->chunk);
        const double at = lastByteAt - static_cast<double>(count - to) * kByteTime;
        scheduleArrival(port, std::vector<std::uint8_t>(data + from, data + to), at);
    }
    l->toStationFreeAt = std::max(l->toStationFreeAt, lastByteAt);
}

void SimSerial::arriveNow(int port, const std::uint8_t* data, std::size_t count) {
    if (count == 0) return;
    deliver(port, std::vector<std::uint8_t>(data, data + count));
}

std::vector<std::uint8_t> SimSerial::takeWritten(int port) {
    Line* l = line(port);
    if (l == nullptr) return {};
    return std::exchange(l->written, {});
}

void SimSerial::setWriteListener(int port, WriteListener listener) {
    if (Line* l = line(port)) l->listener = std::move(listener);
}

void SimSerial::hangUp(int port, bool down) {
    Line* l = line(port);
    if (l == nullptr) return;
    l->hungUp = down;
    l->cts = !down;
    if (down) {
        ++l->inGeneration;
        ++l->outGeneration;
        l->in.clear();
    }
}

void SimSerial::setCts(int port, bool asserted) {
    if (Line* l = line(port)) l->cts = asserted;
}

void SimSerial::unplug(int port) {
    Line* l = line(port);
    if (l == nullptr || l->unplugged) return;
    const bool wasOpen = l->open;
    close(port);
    l->unplugged = true;
    l->cts = false;
    if (wasOpen) loop().post(0.0, [port]() { ReportPortLost(port, "the device is gone"); });
}

void SimSerial::replug(int port) {
    Line* l = line(port);
    if (l == nullptr) return;
    l->unplugged = false;
    l->hungUp = false;
    l->cts = true;
    l->toStationFreeAt = l->toFarEndFreeAt = loop().now();
}

std::size_t SimSerial::overflowed(int port) const {
    const Line* l = line(port);
    return l == nullptr ? 0 : l->overflow;
}

int SimSerial::open(int port, long, int, int, int, int inQueue, int) {
    Line* l = line(port);
    if (l == nullptr || l->unplugged) return kComInvalidPort;
    if (l->openResult != kComOk) return l->openResult;
    l->open = true;
    l->inCapacity = inQueue > 0 ? static_cast<std::size_t>(inQueue) : kDefaultInQueue;
    return kComOk;
}

int SimSerial::close(int port) {
    Line* l = line(port);
    if (l == nullptr || !l->open) return kComNotOpen;
    l->open = false;
    l->callback = nullptr;
    l->in.clear();
    ++l->inGeneration;
    ++l->outGeneration;
    return kComOk;
}

int SimSerial::read(int port, unsigned char* buffer, std::size_t count) {
    Line* l = line(port);
    if (l == nullptr || !l->open) return kComNotOpen;
    const std::size_t n = std::min(count, l->in.size());
    std::copy_n(l->in.begin(), n, buffer);
    l->in.erase(l->in.begin(), l->in.begin() + static_cast<std::ptrdiff_t>(n));
    return static_cast<int>(n);
}

int SimSerial::write(int port, const unsigned char* data, std::size_t count) {
    Line* l = line(port);
    if (l == nullptr || !l->open) return kComNotOpen;
    if (l->hungUp || count == 0) return static_cast<int>(count);
    if (l->written.size() + count <= kWrittenLimit)
        l->written.insert(l->written.end(), data, data + count);
    const double start = std::max(loop().now(), l->toFarEndFreeAt);
    l->toFarEndFreeAt = start + static_cast<double>(count) * kByteTime;
    if (l->listener) {
        const std::uint64_t generation = l->outGeneration;
        loop().post(
            l->toFarEndFreeAt - loop().now(),
            [this, port, generation, bytes = std::vector<std::uint8_t>(data, data + count)]() {
                Line* now = line(port);
                if (now == nullptr || now->outGeneration != generation || !now->listener) return;
                WriteListener listener = now->listener;
                listener(port, bytes);
            });
    }
    return static_cast<int>(count);
}

int SimSerial::inQueueLength(int port) {
    Line* l = line(port);
    if (l == nullptr || !l->open) return kComNotOpen;
    return static_cast<int>(l->in.size());
}

int SimSerial::flushIn(int port) {
    Line* l = line(port);
    if (l == nullptr || !l->open) return kComNotOpen;
    l->in.clear();
    return kComOk;
}

int SimSerial::flushOut(int port) {
    Line* l = line(port);
    if (l == nullptr || !l->open) return kComNotOpen;
    // What has not crossed yet never reaches the far end.
    ++l->outGeneration;
    l->toFarEndFreeAt = std::min(l->toFarEndFreeAt, loop().now());
    return kComOk;
}

int SimSerial::installCallback(int port, int eventMask, ComCallback cb, void* data) {
    Line* l = line(port);
    if (l == nullptr || !l->open) return kComNotOpen;
    l->callback = cb;
    l->eventMask = eventMask;
    l->callbackData = data;
    return kComOk;
}

int SimSerial::setTimeout(int port, double) {
    return isOpen(port) ? kComOk : kComNotOpen;
}

int SimSerial::setSoftwareHandshake(int port, bool) {
    return isOpen(port) ? kComOk : kComNotOpen;
}

int SimSerial::setHardwareHandshake(int port, bool) {
    return isOpen(port) ? kComOk : kComNotOpen;
}

int SimSerial::lineStatus(int port) {
    Line* l = line(port);
    if (l == nullptr || !l->open) return kComNotOpen;
    return l->cts ? kLineCts : 0;
}

std::vector<int> SimSerial::existingPorts() {
    std::vector<int> ports;
    for (const auto& [port, l] : lines_)
        if (!l.unplugged) ports.push_back(port);
    return ports;
}

}  // namespace platform
