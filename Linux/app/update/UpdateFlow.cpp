#include "app/update/UpdateFlow.h"

#include "toolkit/DWWaitDlg.h"
#include "app/update/KWDownloadDlg.h"
#include "toolkit/KWMsgBox.h"
#include "strings/KXStrings.h"
#include "toolkit/AppText.h"

namespace halvex::app {

void CheckForUpdatesInteractive(QWidget* owner, const UpdateActions& actions)
{
    Result<UpdateAnswer> checked = Result<UpdateAnswer>::Cancelled();
    bool cancelled = false;
    {
        DWWaitDlg wait(owner, TextOr("app_name"), TextOr("check_update"));
        UpdateCheckOptions options = actions.check;
        cancelled = !wait.Run([&](DWWorkDlg& window) {
            options.cancel = &window.CancelFlag();
            checked = RunUpdateCheck(options);
        });
    }
    if (cancelled)
        return;
    if (checked && checked.value().offer) {
        OfferUpdate(owner, *checked.value().offer, actions);
        return;
    }
    KWMsgBox::Show(owner, KXStrings::GetString(UpdateCheckMessageKey(checked)), KWMsgBox::kStop, KWMsgBox::kOk);
}

void OfferUpdate(QWidget* owner, const UpdateOffer& offer, const UpdateActions& actions)
{
    if (KWMsgBox::Show(owner, KXStrings::Format(kCheckUpdateOfferKey, offer.version), KWMsgBox::kNote, KWMsgBox::kYesNo,
                       KWMsgBox::kIdYes) != KWMsgBox::kIdYes)
        return;

    const Result<std::filesystem::path> destination =
        PackageDestination(actions.handOff.tempFolder, offer.packageAddress);
    if (!destination) {
        KWMsgBox::Show(owner, KXStrings::GetString(destination.messageKey()), KWMsgBox::kStop, KWMsgBox::kOk);
        return;
    }
    PackageRequest request;
    request.address = offer.packageAddress;
    request.sha256 = offer.sha256;
    request.destination = destination.value();
    const Status downloaded = KWDownloadDlg(owner, request).Download();
    if (!downloaded) {
        RemovePackageDownload(request.destination);
        if (!downloaded.cancelled())
            KWMsgBox::Show(owner, KXStrings::GetString(downloaded.messageKey), KWMsgBox::kStop, KWMsgBox::kOk);
        return;
    }

    UpdaterHandOff handOff = actions.handOff;
    handOff.packagePath = request.destination;
    handOff.version = offer.version;
    handOff.signature = offer.signature;
    if (const Status started = StartUpdater(handOff, actions.startProgram); !started) {
        RemovePackageDownload(request.destination);
        KWMsgBox::Show(owner, KXStrings::GetString(started.messageKey), KWMsgBox::kStop, KWMsgBox::kOk);
        return;
    }
    // The updater waits for this process to end before it replaces anything.
    if (actions.quit)
        actions.quit();
}

}  // namespace halvex::app
