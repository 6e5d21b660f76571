#include "app/sync/KWSyncDlg.h"
#include "app/main/ToolWindows.h"

namespace halvex::app {

void RunSyncWindow(QWidget* owner, KWMainApp& app, SyncMode mode)
{
    KWSyncDlg window(owner, app, mode);
    if (window.Prepare())
        window.exec();
}

}  // namespace halvex::app
