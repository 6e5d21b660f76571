#pragma once

#include <functional>

#include "backup/BackupStrings.h"
#include "toolkit/DWWorkDlg.h"

namespace halvex::app {

// Shown while the configuration window's file list is collected.
class KWUpdateWaitDialog : public DWWorkDlg {
    Q_OBJECT
public:
    KWUpdateWaitDialog(QWidget* owner, const BackupStrings& strings);
    // Runs work on a worker while the window is shown; back when it is done.
    void RunWhile(const std::function<void()>& work);
};

}  // namespace halvex::app
