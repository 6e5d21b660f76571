#include "app/backup/KWUpdateWaitDialog.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/backup/BackupText.h"
#include "toolkit/AppText.h"
#include "util/IgnoreResult.h"

namespace halvex::app {

KWUpdateWaitDialog::KWUpdateWaitDialog(QWidget* owner, const BackupStrings& strings) : DWWorkDlg(owner)
{
    setWindowTitle(TextOr("wait_title"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(22, 18, 22, 18);
    for (int line = 25; line <= 29; ++line) {
        auto* label = new QLabel(BackupLabel(strings, line), this);
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
    }
}

void KWUpdateWaitDialog::RunWhile(const std::function<void()>& work)
{
    IgnoreResult(Run([&work](DWWorkDlg&) { work(); }),
                 "the collection has no cancel: the window stays until it is done");
}

}  // namespace halvex::app
