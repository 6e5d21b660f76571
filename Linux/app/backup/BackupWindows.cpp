#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <QCoreApplication>
#include <algorithm>

#include <future>

#include "app/main/AppText.h"
#include "app/backup/BackupWindows.h"
#include "toolkit/DWProgressBar.h"
#include "toolkit/KWMsgBox.h"
#include "backup/BackupFileUtils.h"
#include "backup/BackupRun.h"
#include "backup/KWBackupManager.h"
#include "strings/KXStrings.h"

namespace halvex::app {

namespace bm = backup_message;

BackupSession::BackupSession(const std::filesystem::path& dataFolder, std::filesystem::path drive,
                             std::uint64_t cluster, std::string identityText)
    : store(dataFolder, strings), driveRoot(std::move(drive)), clusterSize(cluster), identity(std::move(identityText))
{
}

// ---- WindowRunView -----------------------------------------------------------

void WindowRunView::Post(std::function<void()> work)
{
    if (QThread::currentThread() == m_window->thread())
        work();
    else
        QMetaObject::invokeMethod(m_window, std::move(work), Qt::QueuedConnection);
}

int WindowRunView::Ask(std::function<int()> box)
{
    if (QThread::currentThread() == m_window->thread())
        return box();
    // The worker waits here until the window's thread has an answer.
    std::promise<int> answer;
    std::future<int> future = answer.get_future();
    QMetaObject::invokeMethod(
        m_window, [&answer, &box] { answer.set_value(box()); }, Qt::QueuedConnection);
    return future.get();
}

void WindowRunView::SetProgress(std::uint64_t position, std::uint64_t maximum)
{
    if (onProgress)
        Post([this, position, maximum] { onProgress(position, maximum); });
}

void WindowRunView::SetStatusText(const std::string& text)
{
    if (onStatus)
        Post([this, line = QString::fromStdString(text).trimmed()] { onStatus(line); });
}

void WindowRunView::ShowMessage(const std::string& text)
{
    Ask([this, text] { return KWMsgBox::Show(m_window, text, KWMsgBox::kNote, KWMsgBox::kOk, KWMsgBox::kIdOk); });
}

bool WindowRunView::AskYesNo(Question, const std::string& text)
{
    return Ask([this, text] {
               return KWMsgBox::Show(m_window, text, KWMsgBox::kCaution, KWMsgBox::kYesNo, KWMsgBox::kIdYes);
           }) == KWMsgBox::kIdYes;
}

void WindowRunView::EnableCancel()
{
    if (onEnableCancel)
        Post([this] { onEnableCancel(); });
}

// ---- KWRunDlg ----------------------------------------------------------------

KWRunDlg::KWRunDlg(QWidget* owner, BackupSession& session, const QString& title)
    : QDialog(owner), m_session(session), m_view(this)
{
    setWindowTitle(title);
    setModal(true);
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
    m_view.onEnableCancel = [this] { m_cancel->setEnabled(!m_cancelRequested.load()); };
    connect(m_cancel, &QPushButton::clicked, this, &KWRunDlg::reject);

    m_timer = new QTimer(this);
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &KWRunDlg::Tick);
    m_timer->start();
}

KWRunDlg::~KWRunDlg()
{
    m_cancelRequested = true;
    if (m_worker.joinable())
        m_worker.join();
}

void KWRunDlg::SetDestinationText(const QString& text) { m_destination->setText(text); }

void KWRunDlg::reject()
{
    // The run stops between files; the next tick after it closes the window.
    m_cancelRequested = true;
    m_cancel->setEnabled(false);
    if (!m_started) {
        m_timer->stop();
        QDialog::reject();
    }
}

void KWRunDlg::Tick()
{
    if (!m_started) {
        m_started = true;
        m_worker = std::thread([this] {
            Work();
            m_finished = true;
        });
        return;
    }
    if (m_finished.load()) {
        m_timer->stop();
        m_worker.join();
        done(m_cancelRequested.load() ? QDialog::Rejected : QDialog::Accepted);
    }
}

// ---- KWBackupProcessDlg -------------------------------------------------------

KWBackupProcessDlg::KWBackupProcessDlg(QWidget* owner, BackupSession& session)
    : KWRunDlg(owner, session, TextOr("backup_backup"))
{
    SetDestinationText(QString::fromStdString(KXStrings::Format(
        "backup_destination", WithTrailingSlash((session.BackupFolder() / session.profile.setName).string()))));
}

void KWBackupProcessDlg::Work()
{
    BackupRunRequest request;
    request.driveRoot = m_session.driveRoot;
    request.clusterSize = m_session.clusterSize;
    const BackupRunResult result =
        RunBackupOfCurrentProfile(request, m_session.store, m_view, m_session.strings, m_cancelRequested);
    m_result = result.message;
    // 29 and 11 are shown by the run itself; the refusals before it are shown here.
    if (result.message == bm::kNoDrive || result.message == bm::kNoSettings ||
        result.message == bm::kNothingToBackup || result.message == bm::kNoSpace ||
        result.message == bm::kDamagedProfile || result.message == bm::kSetFolderLink ||
        result.message == bm::kNotDurable)
        m_view.ShowMessage(m_session.strings.Message(result.message));
}

// ---- KWRestoreProcessDlg ------------------------------------------------------

KWRestoreProcessDlg::KWRestoreProcessDlg(QWidget* owner, BackupSession& session,
                                         std::vector<std::filesystem::path> pool)
    : KWRunDlg(owner, session, TextOr("backup_restore")), m_pool(std::move(pool))
{
}

void KWRestoreProcessDlg::Work()
{
    const BackupStrings& strings = m_session.strings;
    if (m_session.driveRoot.empty()) {
        m_view.ShowMessage(strings.Message(bm::kNoDrive));
        return;
    }
    BackupProfile profile;
    if (m_session.store.ReadCurrent(profile) != BackupProfileStore::ReadResult::Ok) {
        m_view.ShowMessage(strings.Message(bm::kNoSettings));
        return;
    }
    // An other folder that is missing would send every file back to its
    // original place instead, which is not what the user chose.
    if (profile.restoreFolder == strings.Label(backup_label::kInvalidPath) ||
        (profile.restoreChoice == RestoreChoice::Other && profile.restoreFolder.empty())) {
        m_view.ShowMessage(strings.Message(bm::kNoRestorePath));
        return;
    }
    KWCallbackRestore callback(m_view, strings, m_cancelRequested);
    KWBackupManager engine(callback, strings);
    for (const auto& archive : m_pool)
        engine.AddFileToRestorePool(archive);
    callback.SetMaximum(m_pool.size());
    m_view.SetProgress(0, m_pool.size());

    std::filesystem::path target;
    QString destination;
    switch (profile.restoreChoice) {
    case RestoreChoice::Desktop:
        target = m_session.desktopFolder / strings.Label(backup_label::kRestoreFolderName);
        destination = QString::fromStdString(strings.Label(backup_label::kDestinationDesktop));
        break;
    case RestoreChoice::Original:
        destination = QString::fromStdString(strings.Label(backup_label::kDestinationOriginal));
        break;
    case RestoreChoice::Other:
        target = profile.restoreFolder;
        destination = QString::fromStdString(strings.Label(backup_label::kDestination) + " " + profile.restoreFolder);
        break;
    }
    QMetaObject::invokeMethod(this, [this, destination] { SetDestinationText(destination); }, Qt::QueuedConnection);

    // A restore stopped part-way has still ended: the files restored so far stay.
    (void)engine.RestoreFromFilesPool(target);
    m_view.SetStatusText({});
    m_view.ShowMessage(strings.Message(bm::kRestoreDone));
}

// ---- KWUpdateWaitDialog -------------------------------------------------------

KWUpdateWaitDialog::KWUpdateWaitDialog(QWidget* owner, const BackupStrings& strings) : QDialog(owner)
{
    setModal(true);
    setWindowTitle(TextOr("wait_title"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(22, 18, 22, 18);
    for (int line = 25; line <= 29; ++line) {
        auto* label = new QLabel(QString::fromStdString(strings.Label(line)), this);
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
    }
}

void KWUpdateWaitDialog::RunWhile(const std::function<void()>& work)
{
    m_done = false;
    auto* timer = new QTimer(this);
    timer->setInterval(1000);
    connect(timer, &QTimer::timeout, this, [this] {
        if (m_done.load())
            accept();
    });
    timer->start();
    std::thread worker([this, &work] {
        work();
        m_done = true;
        QMetaObject::invokeMethod(this, [this] { accept(); }, Qt::QueuedConnection);
    });
    exec();
    worker.join();
    timer->stop();
    QCoreApplication::removePostedEvents(this);
}

}  // namespace halvex::app
