#include "NotYetAvailable.h"
#include "ToolWindows.h"

namespace halvex::app {
void RunBackupWindow(QWidget* owner, KWMainApp&, BackupView)
{
    ShowNotYetAvailable(owner);
}
}  // namespace halvex::app
