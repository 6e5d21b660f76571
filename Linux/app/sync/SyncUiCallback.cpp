#include "app/sync/SyncUiCallback.h"

#include "toolkit/KWMsgBox.h"
#include "toolkit/UiThread.h"

namespace halvex::app {

int SyncUiCallback::IconOf(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information: return KWMsgBox::kNote;
    case MessageIcon::Warning: return KWMsgBox::kCaution;
    case MessageIcon::Error: return KWMsgBox::kStop;
    }
    return KWMsgBox::kNote;
}

void SyncUiCallback::ShowMessage(const std::string& text, MessageIcon icon)
{
    RunOnUiThread(m_owner, [&] { KWMsgBox::Show(m_owner, text, IconOf(icon), KWMsgBox::kOk, KWMsgBox::kIdOk); });
}

Answer SyncUiCallback::Ask(const std::string& text, MessageIcon icon, bool defaultYes)
{
    const int id = AskOnUiThread<int>(
        m_owner,
        [&] {
            return KWMsgBox::Show(m_owner, text, IconOf(icon), KWMsgBox::kYesNo,
                                  defaultYes ? KWMsgBox::kIdYes : KWMsgBox::kIdNo);
        },
        KWMsgBox::kIdNo);
    return id == KWMsgBox::kIdYes ? Answer::Yes : Answer::No;
}

std::optional<std::filesystem::path> SyncUiCallback::ChooseFolder()
{
    std::optional<std::filesystem::path> chosen;
    if (m_fnChooser)
        RunOnUiThread(m_owner, [&] { chosen = m_fnChooser(); });
    return chosen;
}

}  // namespace halvex::app
