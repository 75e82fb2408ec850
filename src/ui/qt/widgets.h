// Widgets Qt lacks: a round gauge with its scale and a round indicator lamp.
#pragma once

#include <QColor>
#include <QWidget>

namespace ui::qt {

class GaugeWidget : public QWidget {
  public:
    explicit GaugeWidget(QWidget* parent = nullptr);
    void setRange(double min, double max);
    void setValue(double value);
    void setPrecision(int digits);
    void setCaption(const QString& caption);
    void setColours(const QColor& text, const QColor& face, const QColor& needle);
    double value() const { return value_; }
    QColor needleColour() const { return needle_; }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    double min_ = 0.0, max_ = 100.0, value_ = 0.0;
    int precision_ = 0;
    QString caption_;
    QColor text_ = Qt::white;
    QColor face_ = QColor(0x10, 0x10, 0x30);
    QColor needle_ = Qt::red;
};

// A numeric read-out: the value large and bold, its unit small beside it, on its own
// background; a field the operator can tap for the keypad has a light frame. Painted
// directly: a refresh writes a hundred of these a second.
class ReadoutWidget : public QWidget {
  public:
    static constexpr int kUnitsPixels = 12;
    explicit ReadoutWidget(QWidget* parent = nullptr);
    void setContent(const QString& value, const QString& units);
    void setColours(const QColor& text, const QColor& back, bool tappable);
    QString text() const { return value_ + (units_.isEmpty() ? QString() : " " + units_); }

  protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override { valueSize_ = 0; }

  private:
    QString value_, units_;
    QColor text_ = Qt::green, back_ = QColor(0x00, 0x2A, 0x80);
    bool tappable_ = false;
    int valueSize_ = 0;     // font size that fits, worked out again when the text's length changes
    bool stacked_ = false;  // the unit on a line of its own under the value
};

// An indicator lamp: a flat lamp in a sunken bezel, as the read-outs are framed, never a
// round button. It takes no focus and no taps (they go to what lies under it) and has no
// pressed look; dimmed, it takes the colours of the dimmed controls around it.
class LedWidget : public QWidget {
  public:
    explicit LedWidget(QWidget* parent = nullptr);
    // The lamp's colour as drawn now: the on or off colour, or the dimmed look.
    QColor lampColour() const;
    void setState(bool on, const QColor& onColour, const QColor& offColour);
    // A letter or two drawn on the lamp ("F", "A").
    void setText(const QString& text);
    bool isOn() const { return on_; }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    bool on_ = false;
    QString text_;
    QColor onColour_ = Qt::green;
    QColor offColour_ = Qt::darkGray;
};

}  // namespace ui::qt
