#include "app/sync/SyncUiCallback.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include "toolkit/KWMsgBox.h"

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

void SyncUiCallback::OnUiThread(const std::function<void()>& fn) const
{
    QObject* target = m_owner ? static_cast<QObject*>(m_owner.data()) : QCoreApplication::instance();
    if (QThread::currentThread() == target->thread())
        fn();
    else
        QMetaObject::invokeMethod(target, fn, Qt::BlockingQueuedConnection);
}

void SyncUiCallback::ShowMessage(const std::string& text, MessageIcon icon)
{
    OnUiThread([&] { KWMsgBox::Show(m_owner, text, IconOf(icon), KWMsgBox::kOk, KWMsgBox::kIdOk); });
}

Answer SyncUiCallback::Ask(const std::string& text, MessageIcon icon, bool defaultYes)
{
    int id = KWMsgBox::kIdNo;
    OnUiThread([&] {
        id = KWMsgBox::Show(m_owner, text, IconOf(icon), KWMsgBox::kYesNo,
                            defaultYes ? KWMsgBox::kIdYes : KWMsgBox::kIdNo);
    });
    return id == KWMsgBox::kIdYes ? Answer::Yes : Answer::No;
}

std::optional<std::filesystem::path> SyncUiCallback::ChooseFolder()
{
    std::optional<std::filesystem::path> chosen;
    if (m_fnChooser)
        OnUiThread([&] { chosen = m_fnChooser(); });
    return chosen;
}

}  // namespace halvex::app
