#pragma once

// Answers the next message box as a person at the keyboard does: once the
// box is shown and active, notes which button really holds the focus, then
// presses a key through the box's window, so the key goes where a real one
// would. The seam of queued answers is left empty for this.

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QtTest/QTest>

#include <memory>

namespace halvex::test {

struct BoxAtKeyboard {
    bool shown = false;
    QString text;
    // The id of the button that held the focus when the key was pressed,
    // 0 when no button of the box had it.
    int focusedAnswer = 0;
};

inline void PressInNextBox(Qt::Key key, std::shared_ptr<BoxAtKeyboard> seen, int triesLeft = 500)
{
    QTimer::singleShot(10, [key, seen, triesLeft] {
        QWidget* box = QApplication::activeModalWidget();
        const bool open = box && box->objectName() == "KWMsgBox" && box->isVisible();
        QWidget* focus = QApplication::focusWidget();
        const bool settled = open && focus && focus->window() == box;
        if (!settled && triesLeft > 0)
            return PressInNextBox(key, seen, triesLeft - 1);
        if (!open)
            return;  // no box came: the test's own checks say so
        seen->shown = true;
        if (auto* label = box->findChild<QWidget*>("KWMsgBoxText"))
            seen->text = label->property("text").toString();
        seen->focusedAnswer = settled ? focus->property("halvexAnswer").toInt() : 0;
        QTest::keyClick(box->windowHandle(), key);
        // A key the box ignored must not leave a test waiting for ever.
        QTimer::singleShot(200, [box = QPointer<QWidget>(box)] {
            if (box && box->isVisible())
                box->close();
        });
    });
}

inline std::shared_ptr<BoxAtKeyboard> PressInNextBox(Qt::Key key)
{
    auto seen = std::make_shared<BoxAtKeyboard>();
    PressInNextBox(key, seen);
    return seen;
}

}  // namespace halvex::test
