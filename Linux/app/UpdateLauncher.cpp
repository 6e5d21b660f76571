#include "NotYetAvailable.h"
#include "ToolWindows.h"

namespace halvex::app {
void CheckForUpdates(QWidget* owner, KWMainApp&)
{
    ShowNotYetAvailable(owner);
}

void CheckForUpdatesInBackground(QWidget*, KWMainApp&) {}
}  // namespace halvex::app
