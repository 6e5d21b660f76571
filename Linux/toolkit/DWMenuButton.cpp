#include "toolkit/DWMenuButton.h"

#include <QAccessibleWidget>
#include <QMenu>
#include <QTimer>

#include "toolkit/ScreenReader.h"

namespace {

class MenuButtonAccessible : public QAccessibleWidget {
public:
    explicit MenuButtonAccessible(DWMenuButton* button) : QAccessibleWidget(button, QAccessible::ButtonMenu) {}

    DWMenuButton* Button() const { return static_cast<DWMenuButton*>(widget()); }
    QMenu* OpenMenu() const
    {
        QMenu* menu = Button()->menu();
        return menu && menu->isVisible() ? menu : nullptr;
    }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name && Button()->accessibleName().isEmpty())
            return SpokenText(Button()->text());
        return QAccessibleWidget::text(kind);
    }
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.hasPopup = true;
        state.expanded = OpenMenu() != nullptr;
        state.pressed = Button()->isDown();
        return state;
    }
    int childCount() const override { return OpenMenu() ? 1 : 0; }
    QAccessibleInterface* child(int index) const override
    {
        QMenu* menu = OpenMenu();
        return index == 0 && menu ? QAccessible::queryAccessibleInterface(menu) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        QMenu* menu = OpenMenu();
        return menu && child && child->object() == menu ? 0 : -1;
    }

    QStringList actionNames() const override { return {pressAction(), showMenuAction()}; }
    void doAction(const QString& name) override
    {
        if (!Button()->isEnabled() || (name != pressAction() && name != showMenuAction()))
            return;
        // The menu runs a loop of its own: the caller, maybe a screen reader
        // on the bus, gets its answer first.
        QTimer::singleShot(0, Button(), [button = Button()] { button->showMenu(); });
    }
};

QAccessibleInterface* MenuButtonFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("DWMenuButton"))
        if (auto* button = qobject_cast<DWMenuButton*>(object))
            return new MenuButtonAccessible(button);
    return nullptr;
}

}  // namespace

DWMenuButton::DWMenuButton(const QString& text, QWidget* parent) : QToolButton(parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(MenuButtonFactory);
        return true;
    }();
    (void)installed;
    setText(text);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    setPopupMode(QToolButton::InstantPopup);
}
