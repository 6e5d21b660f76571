#pragma once

#include <QToolButton>

// A button that opens its menu at once, as the window's Menu does where the
// desktop has no notification area. Qt leaves an open menu, a popup window,
// out of the accessibility tree, where a screen reader walking the window
// would never find it; while this button's menu is shown it is the button's
// child there, with its items.
class DWMenuButton : public QToolButton {
    Q_OBJECT

public:
    DWMenuButton(const QString& text, QWidget* parent);
};
