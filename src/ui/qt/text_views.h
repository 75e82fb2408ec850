// The controls that show text: numeric read-outs, one-line strings, captions and text boxes.
// Read-outs and strings pass taps on to the logic (a tap opens the keypad).
#pragma once

#include "ui/qt/control_view.h"

class QLabel;
class QPlainTextEdit;

namespace ui::qt {

class ReadoutWidget;

class NumericView : public WidgetView<ReadoutWidget> {
  public:
    NumericView(const Control& c, const ControlSite& site);

  protected:
    void render(const Control& c) override;
};

class StringView : public WidgetView<QLabel> {
  public:
    StringView(const Control& c, const ControlSite& site);

  protected:
    void render(const Control& c) override;
};

// A static caption; a tall one is a headline whose text grows with it.
class TextMsgView : public WidgetView<QLabel> {
  public:
    TextMsgView(const Control& c, const ControlSite& site);

  protected:
    void render(const Control& c) override;
};

class TextBoxView : public WidgetView<QPlainTextEdit> {
  public:
    TextBoxView(const Control& c, const ControlSite& site);

  protected:
    void render(const Control& c) override;
};

}  // namespace ui::qt
