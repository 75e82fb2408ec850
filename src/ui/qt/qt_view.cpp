#include "ui/qt/qt_view.h"

#include "ui/qt/widgets.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <cmath>

namespace ui::qt {

namespace {

QString colour(int rgb) { return QString::asprintf("#%06x", rgb & 0xFFFFFF); }

QString numberText(const Control& c) {
    if (c.kind == ValueKind::Integer || c.format == FMT_INTEGER)
        return QString::number(static_cast<long long>(c.number));
    return QString::number(c.number, 'f', c.precision);
}

// A panel's window: closing it is a model event, the logic decides what happens.
class PanelWindow : public QMainWindow {
public:
    explicit PanelWindow(int panel) : panel_(panel) {}

protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        DispatchPanelEvent(panel_, EVENT_CLOSE);
    }

private:
    int panel_;
};

bool hasCaption(CtrlType t) {
    switch (t) {
        case CTRL_NUMERIC:
        case CTRL_STRING:
        case CTRL_TEXT_BOX:
        case CTRL_RING:
        case CTRL_SLIDE:
        case CTRL_GAUGE:
        case CTRL_LED: return true;
        default: return false;
    }
}

}  // namespace

struct QtView::PanelView {
    PanelWindow* window = nullptr;
    QWidget* canvas = nullptr;
    std::map<int, QWidget*> widgets;
    std::map<int, QLabel*> captions;
};

QtView::QtView() = default;

QtView::~QtView() {
    for (auto& [panel, view] : views_) delete view->window;
}

void QtView::panelCreated(int panel) { build(panel); }

void QtView::panelDiscarded(int panel) {
    auto it = views_.find(panel);
    if (it == views_.end()) return;
    // The discard may come from inside one of this window's own widget signals.
    it->second->window->hide();
    it->second->window->deleteLater();
    views_.erase(it);
}

void QtView::build(int panel) {
    const Panel* p = FindPanel(panel);
    if (p == nullptr) return;
    auto& view = views_[panel];
    if (!view) {
        view = std::make_unique<PanelView>();
        view->window = new PanelWindow(panel);
        view->canvas = new QWidget(view->window);
        view->canvas->setAutoFillBackground(true);
        view->window->setCentralWidget(view->canvas);
    }
    for (const Control& c : p->controls) {
        if (c.type == CTRL_TIMER || view->widgets.count(c.id)) continue;
        int id = c.id;
        QWidget* w = nullptr;
        switch (c.type) {
            case CTRL_COMMAND_BUTTON: {
                auto* b = new QPushButton(QString::fromStdString(c.label), view->canvas);
                QObject::connect(b, &QPushButton::clicked, [panel, id]() { Press(panel, id); });
                w = b;
                break;
            }
            case CTRL_TOGGLE_BUTTON: {
                auto* b = new QPushButton(QString::fromStdString(c.label), view->canvas);
                b->setCheckable(true);
                QObject::connect(b, &QPushButton::clicked, [this, panel, id](bool on) {
                    if (!syncing_) Operate(panel, id, on ? 1.0 : 0.0);
                });
                w = b;
                break;
            }
            case CTRL_CHECKBOX: {
                auto* b = new QCheckBox(QString::fromStdString(c.label), view->canvas);
                QObject::connect(b, &QCheckBox::clicked, [this, panel, id](bool on) {
                    if (!syncing_) Operate(panel, id, on ? 1.0 : 0.0);
                });
                w = b;
                break;
            }
            case CTRL_RING: {
                auto* box = new QComboBox(view->canvas);
                QObject::connect(box, &QComboBox::activated, [this, panel, id](int index) {
                    if (!syncing_) OperateIndex(panel, id, index);
                });
                w = box;
                break;
            }
            case CTRL_NUMERIC:
                if (c.mode == MODE_HOT) {
                    auto* spin = new QDoubleSpinBox(view->canvas);
                    QObject::connect(spin, &QDoubleSpinBox::editingFinished, [this, panel, id, spin]() {
                        if (!syncing_) Operate(panel, id, spin->value());
                    });
                    w = spin;
                } else {
                    w = new QLabel(view->canvas);
                }
                break;
            case CTRL_STRING: {
                auto* edit = new QLineEdit(view->canvas);
                QObject::connect(edit, &QLineEdit::editingFinished, [this, panel, id, edit]() {
                    if (!syncing_) Operate(panel, id, edit->text().toStdString());
                });
                w = edit;
                break;
            }
            case CTRL_TEXT_BOX: {
                auto* box = new QPlainTextEdit(view->canvas);
                box->setReadOnly(true);
                w = box;
                break;
            }
            case CTRL_SLIDE: w = new QProgressBar(view->canvas); break;
            case CTRL_GAUGE: w = new GaugeWidget(view->canvas); break;
            case CTRL_DECORATION: {
                auto* f = new QFrame(view->canvas);
                f->setFrameShape(QFrame::Box);
                w = f;
                break;
            }
            case CTRL_LED: w = new LedWidget(view->canvas); break;
            case CTRL_TEXT_MSG:
            case CTRL_TIMER: w = new QLabel(view->canvas); break;
        }
        w->setObjectName(QString("ctrl_%1").arg(id));
        view->widgets[id] = w;
        if (hasCaption(c.type) && !c.label.empty()) {
            auto* cap = new QLabel(view->canvas);
            view->captions[id] = cap;
        }
    }
    panelChanged(panel);
}

void QtView::panelChanged(int panel) {
    const Panel* p = FindPanel(panel);
    auto it = views_.find(panel);
    if (p == nullptr || it == views_.end()) return;
    for (const Control& c : p->controls) {
        if (c.type != CTRL_TIMER && !it->second->widgets.count(c.id)) {
            build(panel);  // controls were added since the window was built
            return;
        }
    }
    PanelView& v = *it->second;
    v.window->setWindowTitle(QString::fromStdString(p->title));
    v.window->setGeometry(p->left, p->top, p->width, p->height);
    QPalette pal = v.canvas->palette();
    pal.setColor(QPalette::Window, QColor(colour(p->backColor)));
    v.canvas->setPalette(pal);
    syncMenus(panel);
    for (const Control& c : p->controls) sync(panel, c.id);
    v.window->setVisible(p->visible);
}

void QtView::controlChanged(int panel, int control) { sync(panel, control); }

void QtView::sync(int panel, int control) {
    auto it = views_.find(panel);
    const Control* c = FindCtrl(panel, control);
    if (it == views_.end() || c == nullptr) return;
    auto w = it->second->widgets.find(control);
    if (w == it->second->widgets.end()) return;
    QWidget* widget = w->second;
    syncing_ = true;
    widget->setGeometry(c->left, c->top, c->width, c->height);
    widget->setEnabled(!c->dimmed);
    widget->setVisible(c->visible);
    QString style = QString("color: %1;").arg(colour(c->textColor));
    auto cap = it->second->captions.find(control);
    if (cap != it->second->captions.end()) {
        cap->second->setText(QString::fromStdString(c->label));
        cap->second->setGeometry(c->left, c->top - 16, std::max(c->width, 80), 16);
        cap->second->setStyleSheet("color: white;");
        cap->second->setVisible(c->visible);
        cap->second->setEnabled(!c->dimmed);
    }
    switch (c->type) {
        case CTRL_COMMAND_BUTTON:
            static_cast<QPushButton*>(widget)->setText(QString::fromStdString(c->label));
            break;
        case CTRL_TOGGLE_BUTTON:
            static_cast<QPushButton*>(widget)->setText(QString::fromStdString(c->label));
            static_cast<QPushButton*>(widget)->setChecked(c->number != 0.0);
            break;
        case CTRL_CHECKBOX:
            static_cast<QCheckBox*>(widget)->setText(QString::fromStdString(c->label));
            static_cast<QCheckBox*>(widget)->setChecked(c->number != 0.0);
            style += "color: white;";
            break;
        case CTRL_RING: {
            auto* box = static_cast<QComboBox*>(widget);
            if (box->count() != static_cast<int>(c->items.size())) {
                box->clear();
                for (const ListItem& item : c->items) box->addItem(QString::fromStdString(item.label));
            }
            box->setCurrentIndex(c->selected);
            break;
        }
        case CTRL_NUMERIC:
            if (auto* spin = qobject_cast<QDoubleSpinBox*>(widget)) {
                spin->setDecimals(c->kind == ValueKind::Integer ? 0 : c->precision);
                spin->setRange(std::max(c->minValue, -1e9), std::min(c->maxValue, 1e9));
                spin->setValue(c->number);
            } else {
                static_cast<QLabel*>(widget)->setText(numberText(*c));
                style += QString("background-color: %1;").arg(colour(c->bgColor));
            }
            break;
        case CTRL_STRING:
            static_cast<QLineEdit*>(widget)->setText(QString::fromStdString(c->text));
            static_cast<QLineEdit*>(widget)->setReadOnly(c->mode == MODE_INDICATOR);
            break;
        case CTRL_TEXT_BOX:
            static_cast<QPlainTextEdit*>(widget)->setPlainText(QString::fromStdString(c->text));
            break;
        case CTRL_GAUGE: {
            auto* g = static_cast<GaugeWidget*>(widget);
            g->setRange(c->minValue, c->maxValue);
            g->setPrecision(c->precision);
            g->setCaption(QString::fromStdString(c->unitsLabel));
            g->setColours(QColor(colour(c->textColor)), QColor(colour(c->bgColor)));
            g->setValue(c->number);
            break;
        }
        case CTRL_SLIDE: {
            auto* bar = static_cast<QProgressBar*>(widget);
            bar->setRange(0, 1000);
            double span = c->maxValue - c->minValue;
            double frac = span > 0 && span < 1e29 ? (c->number - c->minValue) / span : 0.0;
            bar->setValue(static_cast<int>(std::lround(std::clamp(frac, 0.0, 1.0) * 1000)));
            bar->setFormat(numberText(*c));
            break;
        }
        case CTRL_LED:
            static_cast<LedWidget*>(widget)->setState(c->number != 0.0, QColor(colour(c->onColor)),
                                                      QColor(colour(c->offColor)));
            break;
        case CTRL_TEXT_MSG:
            static_cast<QLabel*>(widget)->setText(QString::fromStdString(c->text));
            break;
        case CTRL_DECORATION:
        case CTRL_TIMER: break;
    }
    widget->setStyleSheet(style);
    syncing_ = false;
}

void QtView::syncMenus(int panel) {
    const Panel* p = FindPanel(panel);
    auto it = views_.find(panel);
    if (p == nullptr || it == views_.end()) return;
    QMenuBar* bar = it->second->window->menuBar();
    bar->clear();
    const MenuBar* model = FindMenuBar(p->menuBar);
    if (model == nullptr) {
        bar->setVisible(false);
        return;
    }
    bar->setVisible(true);
    int handle = model->handle;
    std::map<int, QMenu*> menus;
    for (const MenuItem& item : model->items) {
        if (item.menu == 0) {
            menus[item.id] = bar->addMenu(QString::fromStdString(item.name));
            menus[item.id]->setEnabled(!item.dimmed);
            continue;
        }
        auto m = menus.find(item.menu);
        if (m == menus.end()) continue;
        QAction* a = m->second->addAction(QString::fromStdString(item.name));
        a->setEnabled(!item.dimmed);
        a->setCheckable(item.checked);
        a->setChecked(item.checked);
        int id = item.id;
        QObject::connect(a, &QAction::triggered,
                         [handle, id, panel]() { DispatchMenu(handle, id, panel); });
    }
}

void QtView::menuChanged(int menuBar) {
    for (auto& [panel, view] : views_) {
        const Panel* p = FindPanel(panel);
        if (p != nullptr && p->menuBar == menuBar) syncMenus(panel);
    }
}

QWidget* QtView::window(int panel) const {
    auto it = views_.find(panel);
    return it == views_.end() ? nullptr : it->second->window;
}

QWidget* QtView::widget(int panel, int control) const {
    auto it = views_.find(panel);
    if (it == views_.end()) return nullptr;
    auto w = it->second->widgets.find(control);
    return w == it->second->widgets.end() ? nullptr : w->second;
}

}  // namespace ui::qt
