#include "app/backup/WindowRunView.h"

#include <QString>
#include <QWidget>

#include "toolkit/KWMsgBox.h"
#include "toolkit/UiThread.h"

namespace halvex::app {

void WindowRunView::SetProgress(std::uint64_t position, std::uint64_t maximum)
{
    if (onProgress)
        PostToUiThread(m_window, [this, position, maximum] { onProgress(position, maximum); });
}

void WindowRunView::SetStatusText(const std::string& text)
{
    if (onStatus)
        PostToUiThread(m_window, [this, line = QString::fromStdString(text).trimmed()] { onStatus(line); });
}

void WindowRunView::ShowMessage(const std::string& text)
{
    RunOnUiThread(m_window,
                  [this, &text] { KWMsgBox::Show(m_window, text, KWMsgBox::kNote, KWMsgBox::kOk, KWMsgBox::kIdOk); });
}

bool WindowRunView::AskYesNo(Question question, const std::string& text)
{
    // Only going on past a failed file is the default. A folder the drive
    // names is not written into, and a newer file of the user's is not
    // replaced, at a stray Enter.
    const int preferred = question == Question::ContinueAfterError ? KWMsgBox::kIdYes : KWMsgBox::kIdNo;
    return AskOnUiThread<int>(
               m_window,
               [this, &text, preferred] {
                   return KWMsgBox::Show(m_window, text, KWMsgBox::kCaution, KWMsgBox::kYesNo, preferred);
               },
               KWMsgBox::kIdNo) == KWMsgBox::kIdYes;
}

void WindowRunView::EnableCancel()
{
    if (onEnableCancel)
        PostToUiThread(m_window, [this] { onEnableCancel(); });
}

}  // namespace halvex::app
