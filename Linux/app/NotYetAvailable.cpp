#include "NotYetAvailable.h"

#include <QString>

#include "KWMsgBox.h"

namespace halvex::app {
void ShowNotYetAvailable(QWidget* owner)
{
    KWMsgBox::Show(owner, QStringLiteral("This tool is not available in this version yet."), KWMsgBox::kNote,
                   KWMsgBox::kOk);
}
}  // namespace halvex::app
