#include "SyncFolderSupport.h"

#include <QFileDialog>

#include <string>

#include "KMDevice.h"
#include "KWMainApp.h"
#include "KWMsgBox.h"
#include "strings/KXStrings.h"
#include "util/ComputerIdentity.h"
#include "util/ScrambleIdentity.h"

namespace fs = std::filesystem;

namespace halvex::app {

namespace {

int IconOf(MessageIcon icon)
{
    return icon == MessageIcon::Error ? KWMsgBox::kStop : icon == MessageIcon::Warning ? KWMsgBox::kCaution : KWMsgBox::kNote;
}

}  // namespace

void MsgBoxSyncCallback::ShowMessage(const std::string& text, MessageIcon icon)
{
    KWMsgBox::Show(m_owner, text, IconOf(icon), KWMsgBox::kOk);
}

Answer MsgBoxSyncCallback::Ask(const std::string& text, MessageIcon icon, bool defaultYes)
{
    const int answer = KWMsgBox::Show(m_owner, text, IconOf(icon), KWMsgBox::kYesNo,
                                      defaultYes ? KWMsgBox::kIdYes : KWMsgBox::kIdNo);
    return answer == KWMsgBox::kIdYes ? Answer::Yes : Answer::No;
}

SyncPlace SyncPlaceOf(const KWMainApp& app)
{
    return SyncPlace{app.Paths().RunPath(), app.Paths().DataPath(), ScrambleIdentity(ComputerIdentity())};
}

std::optional<fs::path> BrowseSyncFolder(QWidget* owner, const fs::path& start, const fs::path& usbPath,
                                         const SyncDriveProbe& probe)
{
    QFileDialog picker(owner, QString::fromStdString(KXStrings::GetString("sync_select_folder_title")),
                       QString::fromStdString(start.string()));
    picker.setFileMode(QFileDialog::Directory);
    picker.setOption(QFileDialog::ShowDirsOnly, true);
    const std::string select = KXStrings::GetString("select");
    if (!select.empty())
        picker.setLabelText(QFileDialog::Accept, QString::fromStdString(select));
    if (picker.exec() != QDialog::Accepted || picker.selectedFiles().isEmpty())
        return std::nullopt;
    const fs::path folder = picker.selectedFiles().front().toStdString();
    if (!CheckTypedSyncFolder(owner, folder, usbPath, probe))
        return std::nullopt;
    return folder;
}

bool CheckTypedSyncFolder(QWidget* owner, const fs::path& folder, const fs::path& usbPath,
                          const SyncDriveProbe& probe)
{
    const Status status = CheckBrowsedFolder(folder, usbPath, probe);
    if (!status)
        KWMsgBox::Show(owner, KXStrings::GetString(status.messageKey), KWMsgBox::kStop, KWMsgBox::kOk);
    return status.ok;
}

}  // namespace halvex::app
