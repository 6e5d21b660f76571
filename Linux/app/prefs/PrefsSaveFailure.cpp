#include "app/prefs/PrefsSaveFailure.h"

#include "toolkit/AppText.h"
#include "toolkit/KWMsgBox.h"

namespace halvex::app {

void ReportPrefsNotSaved(QWidget* owner, const Status& failure)
{
    KWMsgBox::Show(owner,
                   FailureText("err_prefs_save",
                               "The preferences could not be saved on the USB flash drive. Check that the drive is not "
                               "full or write-protected.",
                               failure),
                   KWMsgBox::kStop, KWMsgBox::kOk);
}

}  // namespace halvex::app
