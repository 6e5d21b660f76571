#pragma once

class QWidget;

namespace halvex::app {
// FIXME: stands in for a tool window that is still being built.
void ShowNotYetAvailable(QWidget* owner);
}
