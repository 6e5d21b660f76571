#include "app/update/UpdateFlow.h"

#include "toolkit/DWWaitDlg.h"
#include "app/update/KWDownloadDlg.h"
#include "toolkit/KWMsgBox.h"
#include "strings/KXStrings.h"
#include "toolkit/AppText.h"

namespace halvex::app {

void CheckForUpdatesInteractive(QWidget* owner, const UpdateActions& actions)
{
    UpdateCheckResult result;
    bool cancelled = false;
    {
        DWWaitDlg wait(owner, TextOr("app_name"), TextOr("check_update"));
        UpdateCheckOptions options = actions.check;
        cancelled = !wait.Run([&](DWWorkDlg& window) {
            options.cancel = &window.CancelFlag();
            result = RunUpdateCheck(options);
        });
    }
    if (cancelled)
        return;
    if (result.outcome == UpdateCheckOutcome::Offer) {
        OfferUpdate(owner, result, actions);
        return;
    }
    KWMsgBox::Show(owner, KXStrings::GetString(UpdateCheckMessageKey(result.outcome)), KWMsgBox::kStop, KWMsgBox::kOk);
}

void OfferUpdate(QWidget* owner, const UpdateCheckResult& offer, const UpdateActions& actions)
{
    if (KWMsgBox::Show(owner, KXStrings::Format("check_update_avail", offer.version), KWMsgBox::kNote, KWMsgBox::kYesNo,
                       KWMsgBox::kIdYes) != KWMsgBox::kIdYes)
        return;

    PackageRequest request;
    request.address = offer.packageAddress;
    request.sha256 = offer.sha256;
    if (!PackageDestination(actions.handOff.tempFolder, offer.packageAddress, request.destination)) {
        KWMsgBox::Show(owner, KXStrings::GetString("download_err"), KWMsgBox::kStop, KWMsgBox::kOk);
        return;
    }
    DownloadResult downloaded;
    {
        KWDownloadDlg download(owner, request);
        downloaded = download.Download();
    }
    if (downloaded.outcome == DownloadOutcome::Cancelled)
        return;
    if (!downloaded.ok()) {
        KWMsgBox::Show(owner, KXStrings::GetString("download_err"), KWMsgBox::kStop, KWMsgBox::kOk);
        return;
    }

    UpdaterHandOff handOff = actions.handOff;
    handOff.packagePath = request.destination;
    if (!StartUpdater(handOff, actions.startProgram)) {
        KWMsgBox::Show(owner, KXStrings::GetString("updater_err"), KWMsgBox::kStop, KWMsgBox::kOk);
        return;
    }
    // The updater waits for this process to end before it replaces anything.
    if (actions.quit)
        actions.quit();
}

}  // namespace halvex::app
