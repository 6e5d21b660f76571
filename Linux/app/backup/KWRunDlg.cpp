#include "app/backup/KWRunDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <thread>

#include "backup/BackupFileUtils.h"
#include "backup/BackupInfoFile.h"
#include "backup/OriginalFolderCheck.h"
#include "backup/BackupRun.h"
#include "backup/KWBackupManager.h"
#include "strings/KXStrings.h"
#include "toolkit/AppText.h"
#include "toolkit/PathText.h"
#include "toolkit/DWProgressBar.h"
#include "toolkit/UiThread.h"
#include "util/IgnoreResult.h"

namespace halvex::app {

namespace bm = backup_message;

namespace {
constexpr std::chrono::milliseconds kLeadIn{1000};
}  // namespace

KWRunDlg::KWRunDlg(QWidget* owner, BackupSession& session, const QString& title)
    : DWWorkDlg(owner), m_session(session), m_view(this)
{
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 14);
    layout->setSpacing(10);
    m_progress = new DWProgressBar(this);
    m_progress->setMinimumWidth(420);
    m_status = new QLabel(this);
    m_status->setMinimumHeight(fontMetrics().height() * 2);
    m_status->setWordWrap(true);
    m_destination = new QLabel(this);
    m_destination->setWordWrap(true);
    m_cancel = new QPushButton(TextOr("cancel"), this);
    m_cancel->setEnabled(false);
    layout->addWidget(m_progress);
    layout->addWidget(m_status);
    layout->addWidget(m_destination);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    layout->addLayout(buttons);

    m_view.onProgress = [this](std::uint64_t position, std::uint64_t maximum) {
        m_progress->setRange(static_cast<std::int64_t>(maximum));
        m_progress->setPosition(static_cast<std::int64_t>(position));
    };
    m_view.onStatus = [this](const QString& text) {
        m_status->setText(fontMetrics().elidedText(text, Qt::ElideMiddle, std::max(100, m_status->width() * 2 - 20)));
    };
    m_view.onEnableCancel = [this] { m_cancel->setEnabled(!IsCancelled()); };
    connect(m_cancel, &QPushButton::clicked, this, &KWRunDlg::reject);
}

void KWRunDlg::SetDestinationText(const QString& text)
{
    m_destination->setText(text);
}

void KWRunDlg::Execute()
{
    m_started = true;
    IgnoreResult(Run([this](DWWorkDlg&) {
                     // A second to see the window before the run; a cancel meanwhile starts nothing.
                     const auto start = std::chrono::steady_clock::now();
                     while (!IsCancelled() && std::chrono::steady_clock::now() - start < kLeadIn)
                         std::this_thread::sleep_for(std::chrono::milliseconds(20));
                     if (!IsCancelled())
                         Work();
                 }),
                 "a cancelled run has said what it did in its own messages");
}

void KWRunDlg::reject()
{
    if (!m_started) {
        QDialog::reject();  // NOLINT(bugprone-parent-virtual-call): no run to cancel yet, so no question
        return;
    }
    DWWorkDlg::reject();
}

void KWRunDlg::OnCancel()
{
    SetCancelled();
    m_cancel->setEnabled(false);
}

KWBackupProcessDlg::KWBackupProcessDlg(QWidget* owner, BackupSession& session)
    : KWRunDlg(owner, session, TextOr("backup_backup"))
{
    SetDestinationText(TextFormat("backup_destination",
                                  WithTrailingSlash((session.BackupFolder() / session.profile.setName).string())));
}

void KWBackupProcessDlg::Work()
{
    BackupRunRequest request;
    request.driveRoot = m_session.driveRoot;
    request.clusterSize = m_session.clusterSize;
    const BackupRunResult result =
        RunBackupOfCurrentProfile(request, m_session.store, m_view, m_session.strings, CancelFlag());
    m_result = result.message;
    if (!result.setName.empty() && m_session.recordBackup)
        m_session.recordBackup(result.setName, result.sourceFolder);
    // 29 and 11 are shown by the run itself; the refusals before it are shown here.
    if (result.message == bm::kNoDrive || result.message == bm::kNoSettings || result.message == bm::kNothingToBackup ||
        result.message == bm::kNoSpace || result.message == bm::kDamagedProfile ||
        result.message == bm::kSetFolderLink || result.message == bm::kNotDurable)
        m_view.ShowMessage(m_session.strings.Message(result.message));
}

KWRestoreProcessDlg::KWRestoreProcessDlg(QWidget* owner, BackupSession& session,
                                         std::vector<std::filesystem::path> pool)
    : KWRunDlg(owner, session, TextOr("backup_restore")), m_pool(std::move(pool))
{}

Result<std::filesystem::path> KWRestoreProcessDlg::AllowedOriginalFolder()
{
    using Folder = Result<std::filesystem::path>;
    const BackupStrings& strings = m_session.strings;
    if (m_pool.empty())
        return Folder::Fail(kInfoMissingKey);
    const InfoFileLookup lookup = ReadInfoFile(m_pool.front());
    if (!lookup.status.ok) {
        m_view.ShowMessage(strings.Message(InfoFileMessage(lookup.status)));
        return Folder::From(Status(lookup.status));
    }
    const std::filesystem::path folder = lookup.originalFolder;
    const QString shown = BackupLabel(strings, backup_label::kDestinationOriginal) + ": " + PathText(folder);
    PostToUiThread(this, [this, shown] { SetDestinationText(shown); });
    if (const Status allowed = CheckOriginalFolder(folder, m_session.homeFolder); !allowed) {
        m_view.ShowMessage(TextFormat(allowed.messageKey == kOriginalHiddenKey ? "restore_original_hidden"
                                                                               : "restore_original_outside_home",
                                      folder.string())
                               .toStdString());
        return Folder::From(Status(allowed));
    }
    const std::string set = lookup.setFolder.filename().string();
    if (!(m_session.backedUpHere && m_session.backedUpHere(set, folder)) &&
        !m_view.AskYesNo(BackupRunView::Question::RestoreDestination,
                         TextFormat("restore_original_ask", set, folder.string()).toStdString()))
        return Folder::Fail(kOriginalNotAbsoluteKey, "not agreed to");
    return Folder::Ok(folder);
}

void KWRestoreProcessDlg::Work()
{
    const BackupStrings& strings = m_session.strings;
    if (m_session.driveRoot.empty()) {
        m_view.ShowMessage(strings.Message(bm::kNoDrive));
        return;
    }
    const Result<BackupProfile> read = m_session.store.ReadCurrent();
    if (!read || !BackupProfileStore::CheckRunnable(read.value())) {
        m_view.ShowMessage(strings.Message(bm::kNoSettings));
        return;
    }
    const BackupProfile& profile = read.value();
    // An other folder that is missing would send every file back to its
    // original place instead, which is not what the user chose.
    if (profile.restoreFolder == strings.Label(backup_label::kInvalidPath) ||
        (profile.restoreChoice == RestoreChoice::Other && profile.restoreFolder.empty())) {
        m_view.ShowMessage(strings.Message(bm::kNoRestorePath));
        return;
    }
    KWCallbackRestore callback(m_view, strings, CancelFlag());
    KWBackupManager engine(callback, strings);
    for (const auto& archive : m_pool)
        engine.AddFileToRestorePool(archive);
    callback.SetMaximum(m_pool.size());
    m_view.SetProgress(0, m_pool.size());

    RestoreRunOptions run;
    QString destination;
    switch (profile.restoreChoice) {
    case RestoreChoice::Desktop:
        run.target = m_session.desktopFolder / strings.Label(backup_label::kRestoreFolderName);
        run.writeBoundary = m_session.desktopFolder;
        destination = BackupLabel(strings, backup_label::kDestinationDesktop);
        break;
    case RestoreChoice::Original: {
        const Result<std::filesystem::path> original = AllowedOriginalFolder();
        if (!original)
            return;
        // Every file goes into the folder shown and agreed to, whatever the
        // drive says meanwhile.
        run.target = original.value();
        run.base = ReadInfoFile(m_pool.front()).generationFolder;
        run.writeBoundary = m_session.homeFolder;
        destination = BackupLabel(strings, backup_label::kDestinationOriginal) + ": " + PathText(run.target);
        break;
    }
    case RestoreChoice::Other:
        run.target = profile.restoreFolder;
        destination = BackupLabel(strings, backup_label::kDestination) + ' ' + PathText(profile.restoreFolder);
        break;
    }
    PostToUiThread(this, [this, destination] { SetDestinationText(destination); });

    IgnoreResult(engine.RestoreFromFilesPool(run),
                 "a restore stopped part-way has still ended: the files restored so far stay");
    m_view.SetStatusText({});
    m_view.ShowMessage(strings.Message(bm::kRestoreDone));
}

}  // namespace halvex::app
