#include "ui/qt/logic_call.h"

#include <QPointer>
#include <QWidget>
#include <vector>

namespace ui::qt {

namespace {

int callsUnderWay = 0;

std::vector<QPointer<QWidget>>& windowsHeld() {
    static std::vector<QPointer<QWidget>> held;
    return held;
}

}  // namespace

LogicCall::LogicCall() {
    ++callsUnderWay;
}

LogicCall::~LogicCall() {
    if (--callsUnderWay > 0) return;
    std::vector<QPointer<QWidget>> held = std::move(windowsHeld());
    windowsHeld().clear();
    for (QPointer<QWidget>& w : held)
        if (w) w->deleteLater();
}

void deleteWhenCallsReturn(QWidget* window) {
    if (callsUnderWay > 0)
        windowsHeld().emplace_back(window);
    else
        window->deleteLater();
}

}  // namespace ui::qt
