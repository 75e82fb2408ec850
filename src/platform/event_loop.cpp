#include "platform/event_loop.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {
EventLoop* g_loop = nullptr;

std::tm localParts() {
    std::time_t t = loop().wallTime();
    std::tm parts{};
    localtime_r(&t, &parts);
    return parts;
}
}  // namespace

EventLoop& loop() {
    if (g_loop == nullptr) {
        std::fputs("vnk: no event loop installed\n", stderr);
        std::abort();
    }
    return *g_loop;
}

EventLoop* currentLoop() {
    return g_loop;
}

void setLoop(EventLoop* l) {
    g_loop = l;
}

double Timer() {
    return loop().now();
}
void Delay(double seconds) {
    loop().delay(seconds);
}
void ProcessSystemEvents() {
    loop().processEvents();
}
void ProcessDrawEvents() {
    loop().processDrawEvents();
}
void RunUserInterface() {
    loop().run();
}
void QuitUserInterface() {
    loop().quit();
}

DateTimeText DateTimeStr() {
    DateTimeText text{};
    const std::tm p = localParts();
    std::snprintf(text.date, sizeof text.date, "%02d-%02d-%04d", (p.tm_mon + 1) % 100, p.tm_mday % 100,
                  (p.tm_year + 1900) % 10000);
    std::snprintf(text.time, sizeof text.time, "%02d:%02d:%02d", p.tm_hour % 100, p.tm_min % 100,
                  p.tm_sec % 100);
    return text;
}

const char* DateStr() {
    static char text[16];
    std::memcpy(text, DateTimeStr().date, sizeof text);
    return text;
}

const char* TimeStr() {
    static char text[16];
    std::memcpy(text, DateTimeStr().time, sizeof text);
    return text;
}

}  // namespace platform
