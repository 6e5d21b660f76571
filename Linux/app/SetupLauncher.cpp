#include "NotYetAvailable.h"
#include "ToolWindows.h"

namespace halvex::app {
StartupChoice RunStartupWindow(QWidget* owner, KWMainApp&, bool)
{
    ShowNotYetAvailable(owner);
    return StartupChoice::Cancelled;
}

bool HandleSetup(KWMainApp&, bool& completedNow)
{
    completedNow = false;
    return true;
}

void StartupAutoRunCheck(QWidget*, KWMainApp&) {}
}  // namespace halvex::app
