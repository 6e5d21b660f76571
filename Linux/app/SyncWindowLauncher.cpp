#include "NotYetAvailable.h"
#include "ToolWindows.h"

namespace halvex::app {
void RunSyncWindow(QWidget* owner, KWMainApp&, SyncMode)
{
    ShowNotYetAvailable(owner);
}
}  // namespace halvex::app
