#include "platform/event_loop.h"

#include <cstdio>
#include <cstdlib>

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

const char* DateStr() {
    static char text[48];
    std::tm p = localParts();
    std::snprintf(text, sizeof text, "%02d-%02d-%04d", p.tm_mon + 1, p.tm_mday, p.tm_year + 1900);
    return text;
}

const char* TimeStr() {
    static char text[48];
    std::tm p = localParts();
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", p.tm_hour, p.tm_min, p.tm_sec);
    return text;
}

}  // namespace platform
