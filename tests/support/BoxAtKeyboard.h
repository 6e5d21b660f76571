#pragma once

// Answers the next message box as a person at the keyboard does: once the
// box is shown and active, notes which button really holds the focus, then
// presses a key through the box's window, so the key goes where a real one
// would. The seam of queued answers is left empty for this.

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <QtTest/QTest>

#include <atomic>
#include <memory>
#include <vector>

namespace halvex::test {

struct BoxAtKeyboard {
    // Set once the box was found; a worker thread may wait for it.
    std::atomic<bool> shown{false};
    QString text;
    // The id of the button that held the focus when the key was pressed,
    // 0 when no button of the box had it.
    int focusedAnswer = 0;
    // Whether the key itself closed the box.
    bool closedByKey = false;
};
using SeenBoxes = std::vector<std::shared_ptr<BoxAtKeyboard>>;

// Presses keys[i] in the i-th box that opens from now on.
inline void PressInBoxes(const std::vector<Qt::Key>& keys, const SeenBoxes& seen, std::size_t next,
                         int triesLeft = 1000)
{
    if (next >= keys.size())
        return;
    QTimer::singleShot(10, [keys, seen, next, triesLeft] {
        QWidget* box = QApplication::activeModalWidget();
        const bool open = box && box->objectName() == "KWMsgBox" && box->isVisible();
        QWidget* focus = QApplication::focusWidget();
        const bool settled = open && focus && focus->window() == box;
        if (!settled && triesLeft > 0)
            return PressInBoxes(keys, seen, next, triesLeft - 1);
        if (!open)
            return;  // no box came: the test's own checks say so
        BoxAtKeyboard& mine = *seen[next];
        if (auto* label = box->findChild<QWidget*>("KWMsgBoxText"))
            mine.text = label->property("text").toString();
        mine.focusedAnswer = settled ? focus->property("halvexAnswer").toInt() : 0;
        mine.shown = true;
        QTest::keyClick(box->windowHandle(), keys[next]);
        mine.closedByKey = !box->isVisible();
        // A key the box ignored must not leave a test waiting for ever.
        if (!mine.closedByKey)
            box->close();
        PressInBoxes(keys, seen, next + 1);
    });
}

inline SeenBoxes PressInBoxes(const std::vector<Qt::Key>& keys)
{
    SeenBoxes seen;
    seen.reserve(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i)
        seen.push_back(std::make_shared<BoxAtKeyboard>());
    PressInBoxes(keys, seen, 0);
    return seen;
}

inline std::shared_ptr<BoxAtKeyboard> PressInNextBox(Qt::Key key)
{
    return PressInBoxes({key}).front();
}

}  // namespace halvex::test
