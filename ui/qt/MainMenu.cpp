// The main menu in Qt, built from the window's menu layout: every item
// runs its command, every menu of the bar runs its handler as it opens.
#include "MainWindow.h"

#include <QMenuBar>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>

namespace {

// Switches and options are checkable actions so that screen readers hear
// their state, but the menu shows that state only through the items'
// images: the style draws and measures every item as not checkable.
class TImageOnlyMenuStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
            item != nullptr && element == CE_MenuItem) {
            const QStyleOptionMenuItem plain = Uncheckable(*item);
            QProxyStyle::drawControl(element, &plain, painter, widget);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override
    {
        if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
            item != nullptr && type == CT_MenuItem) {
            const QStyleOptionMenuItem plain = Uncheckable(*item);
            return QProxyStyle::sizeFromContents(type, &plain, size, widget);
        }
        return QProxyStyle::sizeFromContents(type, option, size, widget);
    }

private:
    static QStyleOptionMenuItem Uncheckable(const QStyleOptionMenuItem& item)
    {
        QStyleOptionMenuItem plain = item;
        plain.checkType = QStyleOptionMenuItem::NotCheckable;
        plain.checked = false;
        plain.menuHasCheckableItems = false;
        return plain;
    }
};

}  // namespace

void TVxSoundWindow::BuildMenu()
{
    QMenuBar* bar = menuBar();
    // Made after the bar, so that it outlives the menus that use it.
    auto* style = new TImageOnlyMenuStyle();
    style->setParent(this);
    QMenu* open[3] = {nullptr, nullptr, nullptr};
    for (const TMenuLine& line : MenuLayout()) {
        const QString name = QString::fromLatin1(line.Name);
        const QString hint = line.HintText != nullptr ? QString::fromLatin1(line.HintText) : QString();
        const QString tip = QString::fromStdString(HintShortPart(hint.toStdString()));
        const QString status = QString::fromStdString(HintLongPart(hint.toStdString()));
        auto command = line.Click;
        if (line.Caption == nullptr) {
            open[line.Depth - 1]->addSeparator()->setObjectName(name);
            continue;
        }
        if (line.Item < 0) {
            QMenu* menu = line.Depth == 0 ? bar->addMenu(QString::fromLatin1(line.Caption))
                                          : open[line.Depth - 1]->addMenu(QString::fromLatin1(line.Caption));
            menu->setObjectName(name);
            menu->setStyle(style);
            if (!hint.isEmpty()) {
                menu->setStatusTip(status);
                menu->menuAction()->setStatusTip(status);
                if (line.Depth == 0)
                    menu->menuAction()->setToolTip(tip);
            }
            if (command != nullptr)
                connect(menu, &QMenu::aboutToShow, this, [this, command] { (App.*command)(); });
            // A menu opened with the keyboard starts with its first item
            // highlighted but announces no hover for it: its hint is shown
            // here, as the mouse's highlight would show it.
            connect(menu, &QMenu::aboutToShow, this, [this, menu] {
                QTimer::singleShot(0, menu, [this, menu] {
                    if (menu->isVisible() && menu->activeAction() != nullptr)
                        App.ApplicationHint(menu->activeAction()->statusTip().toStdString());
                });
            });
            open[line.Depth] = menu;
            menus_.push_back(menu);
            continue;
        }
        auto* action = new QAction(QString::fromLatin1(line.Caption), open[line.Depth - 1]);
        action->setObjectName(name);
        action->setIconVisibleInMenu(true);
        if (!hint.isEmpty()) {
            action->setToolTip(tip);
            action->setStatusTip(status);
        }
        connect(action, &QAction::triggered, this, [this, command] { (App.*command)(); });
        open[line.Depth - 1]->addAction(action);
        items_[static_cast<std::size_t>(line.Item)] = action;
        const TMenuItem& item = App.Item(static_cast<TMenuId>(line.Item));
        ShowMenuItem(static_cast<TMenuId>(line.Item), item.Tag, item.ImageIndex);
    }
}

QMenu* TVxSoundWindow::Menu(const char* name) const
{
    for (QMenu* menu : menus_)
        if (menu->objectName() == QLatin1String(name))
            return menu;
    return nullptr;
}

void TVxSoundWindow::ShowMenuItem(TMenuId item, int tag, int imageIndex)
{
    QAction* action = items_[static_cast<std::size_t>(item)];
    action->setCheckable(MenuCheckKind(item) != TMenuCheck::None);
    action->setChecked(action->isCheckable() && tag == 1);
    int& shown = images_[static_cast<std::size_t>(item)];
    if (shown == imageIndex)
        return;
    shown = imageIndex;
    action->setIcon(imageIndex < 0 ? QIcon() : ImageList1().Icon(imageIndex));
}
