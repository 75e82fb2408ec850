// The controls the operator works: buttons, check boxes and rings (drop-down lists). The
// logic holds their state: the operator's act is passed on to it, and the widget shows what
// the model then says.
#pragma once

#include "ui/qt/control_view.h"

class QCheckBox;
class QComboBox;
class QPushButton;

namespace ui::qt {

// A command button, or a toggle button whose click asks for the other state.
class ButtonView : public WidgetView<QPushButton> {
  public:
    ButtonView(const Control& c, const ControlSite& site);

  protected:
    void render(const Control& c) override;
};

class CheckBoxView : public WidgetView<QCheckBox> {
  public:
    CheckBoxView(const Control& c, const ControlSite& site);

  protected:
    void render(const Control& c) override;
};

class RingView : public WidgetView<QComboBox> {
  public:
    RingView(const Control& c, const ControlSite& site);

  protected:
    void render(const Control& c) override;
};

}  // namespace ui::qt
