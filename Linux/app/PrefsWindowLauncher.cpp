#include "NotYetAvailable.h"
#include "ToolWindows.h"

namespace halvex::app {
bool RunPrefsWindow(QWidget* owner, KWMainApp&, PrefsPage)
{
    ShowNotYetAvailable(owner);
    return false;
}
}  // namespace halvex::app
