// Every call from a widget into the logic goes through toLogic. The logic may wait there on a
// dialog of its own while the operator goes on tapping, and one of those taps may discard
// the window whose widget made the call: its event handler is still under way. Such a
// window is hidden at once and handed to the loop for deletion only once the outermost call
// has returned.
#pragma once

#include <utility>

class QWidget;

namespace ui::qt {

// Counts a call into the logic while it lasts; the last one to return lets the loop delete
// the windows held back meanwhile.
class LogicCall {
  public:
    LogicCall();
    ~LogicCall();
    LogicCall(const LogicCall&) = delete;
    LogicCall& operator=(const LogicCall&) = delete;
};

template <class Call>
void toLogic(Call&& call) {
    LogicCall underWay;
    std::forward<Call>(call)();
}

// Deletes a window on the loop's next turn, or after the outermost call under way returns.
void deleteWhenCallsReturn(QWidget* window);

}  // namespace ui::qt
