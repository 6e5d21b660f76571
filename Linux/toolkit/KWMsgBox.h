#pragma once

#include <QString>

#include <deque>
#include <string>
#include <vector>

class QWidget;

// The one message box through which every question and error is shown: the
// text, an icon kind, a button set and the button that takes the focus in,
// the id of the pressed button out. Title "app_name", topmost, one beep.
class KWMsgBox {
public:
    enum Icon { kNote = 0, kStop = 1, kCaution = 2 };
    enum Buttons { kOk = 0, kOkCancel = 1, kYesNo = 2, kYesNoCancel = 3 };
    enum Id { kIdOk = 1, kIdCancel = 2, kIdYes = 6, kIdNo = 7 };

    // Shows the box modally over `owner` (the active window when null) and
    // answers the id of the pressed button. The button `focus` names holds
    // the focus and is the one Return presses. Closing the box by its frame
    // or Escape answers Cancel when the set has it, else No, else OK. The
    // box's object name is "KWMsgBox", each button's "halvexAnswer" property
    // its id.
    static int Show(QWidget* owner, const QString& text, int icon = kNote, int buttons = kOk, int focus = kIdOk);
    static int Show(QWidget* owner, const std::string& text, int icon = kNote, int buttons = kOk, int focus = kIdOk)
    {
        return Show(owner, QString::fromStdString(text), icon, buttons, focus);
    }

    // Test seam: while answers are queued, Show records the box and pops the
    // next answer instead of opening a window.
    struct Shown {
        QString text;
        int icon;
        int buttons;
        int focus;
    };
    static void QueueAnswer(int id) { m_sAnswers.push_back(id); }
    static void ClearTestState()
    {
        m_sAnswers.clear();
        m_sShown.clear();
    }
    static bool HasQueuedAnswers() { return !m_sAnswers.empty(); }
    static const std::vector<Shown>& ShownBoxes() { return m_sShown; }

private:
    static std::deque<int> m_sAnswers;
    static std::vector<Shown> m_sShown;
};
