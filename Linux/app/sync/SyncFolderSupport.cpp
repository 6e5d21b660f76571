#include "app/sync/SyncFolderSupport.h"

#include <QFileDialog>

#include <string>

#include "system/KMDevice.h"
#include "app/main/KWMainApp.h"
#include "toolkit/KWMsgBox.h"
#include "strings/KXStrings.h"
#include "util/ComputerIdentity.h"
#include "util/ScrambleIdentity.h"
#include "toolkit/AppText.h"
#include "toolkit/PathText.h"

namespace fs = std::filesystem;

namespace halvex::app {

SyncPlace SyncPlaceOf(const KWMainApp& app)
{
    return SyncPlace{app.Paths().RunPath(), app.Paths().DataPath(), ScrambleIdentity(ComputerIdentity())};
}

std::optional<fs::path> BrowseSyncFolder(QWidget* owner, const fs::path& start, const fs::path& driveFolder,
                                         const SyncDriveProbe& probe)
{
    QFileDialog picker(owner, TextOr("sync_select_folder_title"), PathText(start));
    picker.setFileMode(QFileDialog::Directory);
    picker.setOption(QFileDialog::ShowDirsOnly, true);
    if (const QString select = TextOr("select"); !select.isEmpty())
        picker.setLabelText(QFileDialog::Accept, select);
    if (picker.exec() != QDialog::Accepted || picker.selectedFiles().isEmpty())
        return std::nullopt;
    const fs::path folder = PathOfText(picker.selectedFiles().front());
    if (!CheckTypedSyncFolder(owner, folder, driveFolder, probe))
        return std::nullopt;
    return folder;
}

bool CheckTypedSyncFolder(QWidget* owner, const fs::path& folder, const fs::path& driveFolder,
                          const SyncDriveProbe& probe)
{
    const Status status = CheckBrowsedFolder(folder, driveFolder, probe);
    if (!status)
        KWMsgBox::Show(owner, KXStrings::GetString(status.messageKey), KWMsgBox::kStop, KWMsgBox::kOk);
    return status.ok;
}

}  // namespace halvex::app
