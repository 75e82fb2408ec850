#include "ui/qt/tab_view.h"

#include <QTabWidget>

#include "ui/qt/logic_call.h"
#include "ui/qt/palette.h"
#include "ui/ui_model.h"

namespace ui::qt {

TabView::TabView(const Control& c, const ControlSite& site)
    : WidgetView(new QTabWidget(site.canvas), c.id), page_(site.page) {
    w_->setFocusPolicy(Qt::NoFocus);
    QObject::connect(w_, &QTabWidget::currentChanged,
                     [&syncing = site.syncing, panel = site.panel, id = c.id](int index) {
                         if (!syncing) toLogic([=] { OperateIndex(panel, id, index); });
                     });
}

void TabView::render(const Control& c) {
    for (size_t i = 0; i < c.items.size(); ++i) {
        const int handle = static_cast<int>(c.items[i].value);
        const PageRef page = page_(handle);
        const Panel* p = FindPanel(handle);
        if (page.window == nullptr || p == nullptr) continue;
        const QString label = QString::fromStdString(c.items[i].label);
        if (page.slot->host != w_) {
            page.slot->host = w_;
            page.slot->index = w_->insertTab(static_cast<int>(i), page.window, label);
        }
        w_->setTabText(page.slot->index, label);
        w_->setTabEnabled(page.slot->index, !p->dimmed);
    }
    if (c.selected >= 0 && c.selected < w_->count()) w_->setCurrentIndex(c.selected);
    restyle(w_, shownSheet(QString("QTabBar::tab { background: %1; padding: 8px 4px;"
                                   " font-size: 15px; }"
                                   "QTabBar::tab:selected { background: #ffffff; font-weight: bold; }"
                                   "QTabBar::tab:disabled { color: #808080; }")
                               .arg(colour(c.bgColor))) +
                    QString("QTabBar::tab { color: %1; }")
                        .arg(sheetColour(shownText(VAL_BLACK, c.bgColor))));
}

}  // namespace ui::qt
