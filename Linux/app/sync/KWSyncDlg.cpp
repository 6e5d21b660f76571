#include "app/sync/KWSyncDlg.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QUrl>
#include <QVariantAnimation>

#include <malloc.h>

#include <mutex>

#include "toolkit/AppText.h"
#include "toolkit/PathText.h"
#include "app/main/KWMainApp.h"
#include "app/sync/ElidedPathLabel.h"
#include "app/sync/KWSyncFolder.h"
#include "app/sync/SyncRowModel.h"
#include "app/sync/SyncRunReports.h"
#include "app/sync/SyncScanReports.h"
#include "app/sync/SyncUiCallback.h"
#include "prefs/KXAppPrefs.h"
#include "prefs/PrefsKeys.h"
#include "strings/KXStrings.h"
#include "sync/SyncRunner.h"
#include "sync/SyncScanner.h"
#include "sync/SyncWipe.h"
#include "system/SyncDriveRules.h"
#include "toolkit/DWImageButton.h"
#include "toolkit/DWProgressDlg.h"
#include "toolkit/DWSkin.h"
#include "toolkit/DWWaitDlg.h"
#include "toolkit/KWMsgBox.h"
#include "util/ComputerIdentity.h"
#include "util/IgnoreResult.h"
#include "util/ScrambleIdentity.h"

namespace fs = std::filesystem;
using namespace halvex;
using namespace halvex::app;

namespace {

constexpr int kFullHeight = 500;
constexpr int kAnimationMs = 220;
constexpr int kStartDelayMs = 300;
constexpr int kHoldOffMs = 5000;
constexpr int kDrainMs = 100;

}  // namespace

KWSyncDlg::KWSyncDlg(QWidget* owner, KWMainApp& app, SyncMode mode)
    : QDialog(owner), m_app(app), m_bInstant(mode == SyncMode::Instant)
{
    setObjectName("KWSyncDlg");
    setWindowTitle(TextOr("sync_window_title"));
    const QPixmap appImage = DWSkin::ContentImage("App.png");
    if (!appImage.isNull())
        setWindowIcon(QIcon(appImage));
    m_pacing.beforeScan = std::chrono::milliseconds(500);
    m_pacing.afterScan = std::chrono::milliseconds(1000);
    m_pacing.beforeRun = std::chrono::milliseconds(500);
    m_pacing.afterRun = std::chrono::milliseconds(800);
    m_probe = MakeSyncDriveProbe(app.Device());

    BuildUpper();
    BuildDetails();

    m_timerStart.setSingleShot(true);
    m_timerStart.setInterval(kStartDelayMs);
    connect(&m_timerStart, &QTimer::timeout, this, &KWSyncDlg::OnStartTimer);
    m_timerHoldOff.setSingleShot(true);
    m_timerHoldOff.setInterval(kHoldOffMs);

    m_animation = new QVariantAnimation(this);
    m_animation->setDuration(kAnimationMs);
    m_animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { setFixedSize(kWidth, value.toInt()); });
    connect(m_animation, &QVariantAnimation::finished, this, &KWSyncDlg::OnAnimationFinished);

    // The full height is the details' bottom; the window opens small.
    m_nFullHeight = kFullHeight;
    m_nSmallHeight = kSmallHeight;
    m_details->setGeometry(0, m_nSmallHeight, kWidth, m_nFullHeight - m_nSmallHeight);
    setFixedSize(kWidth, m_nSmallHeight);
}

KWSyncDlg::~KWSyncDlg() = default;

bool KWSyncDlg::Prepare()
{
    const KXAppPaths& paths = m_app.Paths();
    const SyncPlace place{paths.RunPath(), paths.DataPath(), ScrambleIdentity(ComputerIdentity())};
    SyncUiCallback callback(parentWidget());
    const fs::path driveFolder = SyncUsbPath(place.runPath);
    callback.SetChooser([&]() -> std::optional<fs::path> {
        KWSyncFolder chooser(parentWidget(), driveFolder, m_probe);
        if (chooser.exec() != QDialog::Accepted)
            return std::nullopt;
        return chooser.getFolderPath();
    });
    const std::optional<SyncFolderPair> pair = GetFolderInfo(place, callback, m_probe);
    if (!pair)
        return false;
    m_pair = *pair;
    auto shortName = [](QLabel* label, const fs::path& folder) {
        const QString name = ::PathText(folder.filename());
        label->setText(label->fontMetrics().elidedText(name, Qt::ElideMiddle, label->width()));
    };
    shortName(m_lblDriveName, m_pair.drive);
    shortName(m_lblLocalName, m_pair.computer);
    UpdateArrowsAndTips(false);
    return true;
}

void KWSyncDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_bStarted) {
        m_bStarted = true;
        m_timerStart.start();
    }
}

void KWSyncDlg::closeEvent(QCloseEvent* event)
{
    // A close while work runs is refused by the modal work window; here the
    // rows go with the window.
    m_timerStart.stop();
    m_timerHoldOff.stop();
    m_animation->stop();
    QDialog::closeEvent(event);
}

void KWSyncDlg::OnStartTimer()
{
    m_timerStart.stop();
    if (m_bInstant)
        StartSync();
}

bool KWSyncDlg::Animating() const
{
    return m_animation->state() == QAbstractAnimation::Running;
}

QWidget* KWSyncDlg::ArrowToComputer() const
{
    return m_arrowRight;
}
QWidget* KWSyncDlg::ArrowToDrive() const
{
    return m_arrowLeft;
}

void KWSyncDlg::ShowDetails(bool show)
{
    if (show == m_bDetailsShown)
        return;
    m_bDetailsShown = show;
    if (show)
        m_btnSync->setEnabled(false);
    else
        UpdateArrowsAndTips(false);
    // The list opens before its scan, so that its rows are seen as they come.
    m_animation->setStartValue(height());
    m_animation->setEndValue(show ? m_nFullHeight : m_nSmallHeight);
    m_animation->start();
    if (!show)
        return;
    if (!m_timerHoldOff.isActive())
        IgnoreResult(RebuildList(), "a cancelled scan leaves the rows found so far; the user may rescan");
    if (isHidden())
        return;  // the drive went away during the scan
    UpdateArrowsAndTips(false);
}

void KWSyncDlg::OnAnimationFinished()
{
    if (m_bDetailsShown) {
        m_btnSync->setEnabled(true);
        m_btnRefresh->show();
        m_btnArrow->setChecked(true);
        m_btnDetails->setText(TextOr("hide_details"));
    } else {
        m_btnRefresh->hide();
        m_btnArrow->setChecked(false);
        m_btnDetails->setText(TextOr("show_details"));
        m_timerHoldOff.start();
    }
}

bool KWSyncDlg::RebuildList()
{
    m_model->Clear();
    m_nFromDrive = m_nFromComputer = 0;
    UpdateSelectedInfo();
    const bool subfolders = KXAppPrefs::Bool(prefkey::kSyncSubfolders);
    const QString first = subfolders ? TextFormat("sync_wait_msg", 0, 0) : TextFormat("sync_wait_msg_no_sub", 0);
    DWWaitDlg wait(this, TextOr("sync_wait_title"), first);

    // Rows are shown while the scan runs; they arrive in batches.
    m_model->SetRoots(m_pair.computer, m_pair.drive);
    ScanFeed feed;
    auto drain = [this, &feed] {
        std::vector<ItemData> batch;
        {
            std::lock_guard lock(feed.mutex);
            batch.swap(feed.pending);
        }
        feed.taken.notify_all();
        if (batch.empty())
            return;
        m_model->Append(std::move(batch));
        UpdateArrowsAndTips(true);
    };
    QTimer drainTimer;
    drainTimer.setInterval(kDrainMs);
    connect(&drainTimer, &QTimer::timeout, this, drain);
    drainTimer.start();
    const fs::path computer = m_pair.computer;
    const fs::path drive = m_pair.drive;
    SyncScanOptions options;
    options.recursion = subfolders ? Recursion::Into : Recursion::TopOnly;
    options.pacing = m_pacing;
    options.rowKeeping = RowKeeping::CallbackOnly;
    std::uint32_t timeShifted = 0;  // written by the worker, read once it is done
    const bool finished = wait.Run([&feed, &timeShifted, computer, drive, options](DWWorkDlg& window) {
        SyncControl control(window.CancelFlag());
        SyncScanReports reports(window, feed);
        SyncScanner scanner(reports, control, options);
        std::vector<ItemData> rows;
        IgnoreResult(scanner.Scan(computer, drive, rows),
                     "the rows came through the reports; a cancel is the window's");
        timeShifted = scanner.Counters().timeShifted;
    });
    drainTimer.stop();
    drain();
    // The rows came through the worker's heap, which keeps what was freed;
    // the list holds its own compact copy, so that memory goes back.
    malloc_trim(0);
    if (wait.IsShutDown()) {
        hide();
        return false;
    }
    // Equal files a FAT drive's time zone set apart are not listed; the
    // count says why the list may be shorter than the user expects.
    m_lblTimeShift->setText(timeShifted > 0 ? TextFormat("sync_time_shift", timeShifted) : QString());
    m_lblTimeShift->setVisible(timeShifted > 0);
    if (m_nSortColumn >= 0)
        m_model->sort(m_nSortColumn, m_sortOrder);
    UpdateArrowsAndTips(true);
    SelectFirstRow();
    return finished;
}

void KWSyncDlg::StartSync()
{
    if (m_bInstant || !m_bDetailsShown) {
        const bool scanned = RebuildList();
        if (isHidden() && !m_bInstant)
            return;  // the drive went away
        if (!scanned) {
            if (m_bInstant)
                done(QDialog::Rejected);
            return;
        }
    }
    if (m_model->CheckedFromDrive() + m_model->CheckedFromComputer() > 0)
        DoRun();
    else if (!m_bInstant)
        KWMsgBox::Show(this, KXStrings::GetString("sync_none"), KWMsgBox::kNote, KWMsgBox::kOk);
    if (m_bInstant)
        done(QDialog::Accepted);
}

void KWSyncDlg::DoRun()
{
    m_table->clearSelection();
    UpdateSelectedInfo();

    DWProgressDlg progress(this, TextOr("sync_progress_title"));
    progress.SetCancelQuery([](DWProgressDlg& window) {
        return KWMsgBox::Show(&window, KXStrings::GetString("sync_progress_cancel"), KWMsgBox::kCaution,
                              KWMsgBox::kYesNo, KWMsgBox::kIdNo) == KWMsgBox::kIdYes;
    });

    // The worker copies from its own copy of the rows; the list stays the
    // window's to draw.
    std::vector<ItemData> rows = m_model->Rows();
    SyncRunOptions options;
    options.log = KXAppPrefs::Bool(prefkey::kSyncLog);
    options.logPath = m_app.Paths().SyncLogPath();
    options.pacing = m_pacing;
    options.mountPath = SyncMountPathOf;
    options.computerFolder = m_pair.computer;
    options.driveFolder = m_pair.drive;
    SyncRunSummary result;
    const auto hook = m_fnBeforeEachFile;
    const auto work = [&rows, &result, options, hook](DWWorkDlg& window) {
        SyncControl control(window.CancelFlag());
        SyncRunReports reports(window, hook);
        ScanCounters counters;
        RecountDirections(rows, counters);
        SyncRunner runner(reports, control, options);
        result = runner.Run(rows, counters);
    };
    IgnoreResult(progress.Run(work), "the run's outcome, a cancel included, is in its result");
    if (progress.IsShutDown()) {
        hide();
        return;
    }
    m_model->TakeRunResult(rows);
    UpdateArrowsAndTips(true);
    SelectFirstRow();
    UpdateSelectedInfo();

    if (!m_bInstant || result.failures > 0) {
        setEnabled(false);
        KWMsgBox::Show(this, SyncResultText(result), KWMsgBox::kNote, KWMsgBox::kOk);
        setEnabled(true);
    }
}

void KWSyncDlg::UpdateArrowsAndTips(bool recount)
{
    if (recount) {
        m_nFromDrive = m_model->CheckedFromDrive();
        m_nFromComputer = m_model->CheckedFromComputer();
    }
    QString driveTip = TextOr("sync_browse_usb") + "\n\n" + ::PathText(m_pair.drive);
    QString localTip = TextOr("sync_browse_local") + "\n\n" + ::PathText(m_pair.computer);
    if (m_bDetailsShown) {
        m_arrowRight->setVisible(m_nFromDrive > 0);
        m_arrowLeft->setVisible(m_nFromComputer > 0);
        if (m_nFromDrive > 0)
            driveTip = TextFormat("sync_tip_usb", m_nFromDrive) + "\n\n" + driveTip;
        if (m_nFromComputer > 0)
            localTip = TextFormat("sync_tip_local", m_nFromComputer) + "\n\n" + localTip;
    } else {
        m_arrowRight->hide();
        m_arrowLeft->hide();
    }
    m_btnDrive->setToolTip(driveTip);
    m_btnLocal->setToolTip(localTip);
}

void KWSyncDlg::SelectFirstRow()
{
    if (m_model->rowCount() > 0)
        m_table->selectRow(0);
    UpdateSelectedInfo();
}

void KWSyncDlg::UpdateSelectedInfo()
{
    const QModelIndexList selected = m_table->selectionModel()->selectedRows();
    if (selected.isEmpty() || selected.first().row() >= m_model->rowCount()) {
        m_imgDrive->hide();
        m_imgLocal->hide();
        m_lblPath->SetPath({});
        return;
    }
    const int row = selected.first().row();
    m_imgDrive->setVisible(m_model->FromDrive(row));
    m_imgLocal->setVisible(!m_model->FromDrive(row));
    m_lblPath->SetPath(::PathText(m_model->SourcePath(row)));
}

QString KWSyncDlg::PathText() const
{
    return m_lblPath->Path();
}
QString KWSyncDlg::TimeShiftText() const
{
    return m_lblTimeShift->text();
}

QString KWSyncDlg::PathShownText() const
{
    return m_lblPath->ShownText();
}
bool KWSyncDlg::SourceImageShown(bool drive) const
{
    return drive ? !m_imgDrive->isHidden() : !m_imgLocal->isHidden();
}

void KWSyncDlg::OnHeaderClicked(int section)
{
    // A second click on the same column turns the order round.
    m_sortOrder =
        section == m_nSortColumn && m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    m_nSortColumn = section;
    m_table->horizontalHeader()->setSortIndicatorShown(true);
    m_table->horizontalHeader()->setSortIndicator(section, m_sortOrder);
    m_table->clearSelection();
    m_model->sort(section, m_sortOrder);
    SelectFirstRow();
}

void KWSyncDlg::OnListMenu(const QPoint& at)
{
    QMenu menu(this);
    QAction* wipeDrive = menu.addAction(TextOr("sync_wipe_usb_item"));
    QAction* wipeLocal = menu.addAction(TextOr("sync_wipe_local_item"));
    QAction* chosen = menu.exec(m_table->viewport()->mapToGlobal(at));
    if (chosen == wipeDrive)
        WipeFolder(true);
    else if (chosen == wipeLocal)
        WipeFolder(false);
}

void KWSyncDlg::WipeFolder(bool driveFolder)
{
    if (KWMsgBox::Show(this, KXStrings::GetString(driveFolder ? "sync_warn_wipe_usb" : "sync_warn_wipe_local"),
                       KWMsgBox::kCaution, KWMsgBox::kYesNo, KWMsgBox::kIdNo) != KWMsgBox::kIdYes)
        return;
    if (m_bDetailsShown)
        ShowDetails(false);
    m_model->Clear();
    m_nFromDrive = m_nFromComputer = 0;
    UpdateArrowsAndTips(false);

    DWWaitDlg wait(this, TextOr("sync_wait_title"), TextOr("sync_wipe_usb_msg"));
    const fs::path folder = driveFolder ? m_pair.drive : m_pair.computer;
    const bool pause = m_pacing.beforeRun.count() > 0;
    const bool finished = wait.Run([folder, pause](DWWorkDlg& window) {
        SyncControl control(window.CancelFlag());
        if (pause)
            PaceWait(std::chrono::milliseconds(500), control);
        IgnoreResult(halvex::WipeFolder(folder, control), "what could not be removed is listed again by the sync");
    });
    if (wait.IsShutDown()) {
        hide();
        return;
    }
    // What could not be removed is simply listed again by the sync.
    if (finished)
        StartSync();
}

void KWSyncDlg::OpenLog()
{
    const fs::path& log = m_app.Paths().SyncLogPath();
    std::error_code ec;
    if (!log.empty() && fs::exists(log, ec))
        QDesktopServices::openUrl(QUrl::fromLocalFile(::PathText(log)));
    else
        KWMsgBox::Show(this, KXStrings::GetString("no_log_yet"), KWMsgBox::kNote, KWMsgBox::kOk);
}
