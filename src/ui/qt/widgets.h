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
    void setColours(const QColor& text, const QColor& face);
    double value() const { return value_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    double min_ = 0.0, max_ = 100.0, value_ = 0.0;
    int precision_ = 0;
    QString caption_;
    QColor text_ = Qt::white;
    QColor face_ = QColor(0x10, 0x10, 0x30);
};

class LedWidget : public QWidget {
public:
    explicit LedWidget(QWidget* parent = nullptr);
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
