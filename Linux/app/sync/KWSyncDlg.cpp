#include "app/sync/KWSyncDlg.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSysInfo>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "toolkit/DWImageButton.h"
#include "toolkit/DWProgressDlg.h"
#include "toolkit/DWSkin.h"
#include "toolkit/DWWaitDlg.h"
#include "app/main/KWMainApp.h"
#include "toolkit/KWMsgBox.h"
#include "app/sync/KWSyncFolder.h"
#include "app/main/PlatformActions.h"
#include "system/SyncDriveRules.h"
#include "app/sync/SyncRowModel.h"
#include "app/sync/SyncUiCallback.h"
#include "prefs/KXAppPrefs.h"
#include "prefs/PrefsKeys.h"
#include "strings/KXStrings.h"
#include "sync/SyncRunner.h"
#include "sync/SyncScanner.h"
#include "sync/SyncWipe.h"
#include "util/ComputerIdentity.h"
#include "util/ScrambleIdentity.h"

namespace fs = std::filesystem;
using namespace halvex;
using namespace halvex::app;

namespace halvex::app {

// The selected row's source path, shortened in its middle to the label's width.
class ElidedPathLabel : public QLabel {
public:
    using QLabel::QLabel;

    void SetPath(const QString& path)
    {
        m_path = path;
        setToolTip(path);
        update();
    }
    const QString& Path() const { return m_path; }
    QString ShownText() const { return fontMetrics().elidedText(m_path, Qt::ElideMiddle, width()); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, ShownText());
    }

private:
    QString m_path;
};

}  // namespace halvex::app

namespace {

QString Tr(const char* key) { return QString::fromStdString(KXStrings::GetString(key)); }

constexpr int kWidth = 520;
constexpr int kSmallHeight = 214;
constexpr int kFullHeight = 500;
constexpr int kAnimationMs = 220;
constexpr int kStartDelayMs = 300;
constexpr int kHoldOffMs = 5000;
constexpr int kDrainMs = 100;

// The worker's engine flags are the work window's: the engine only reads the
// cancel flag, the window sets it.
std::atomic<bool>& EngineCancel(DWWorkDlg& window)
{
    return const_cast<std::atomic<bool>&>(window.CancelFlag());
}

QLabel* ImageLabel(const QString& image, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setPixmap(DWSkin::ContentImage(image));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

// Rows found by the scan, handed from the worker to the window in batches.
struct ScanFeed {
    std::mutex mutex;
    std::vector<ItemData> pending;
};

// The scan's reports: the wait message, and the rows for the list.
class ScanReports : public SyncCallback {
public:
    ScanReports(DWWorkDlg& window, ScanFeed& feed) : m_window(window), m_feed(feed) {}
    void OnScanProgress(const ScanCounters&, const std::string& message) override { m_window.SetMessage(message); }
    // The scanner keeps no rows of its own here: this copy is the list's.
    void OnRowAdded(const ItemData& row, const ScanCounters&) override
    {
        std::lock_guard lock(m_feed.mutex);
        m_feed.pending.push_back(row);
    }

private:
    DWWorkDlg& m_window;
    ScanFeed& m_feed;
};

// The run's reports: status, count and bar; the worker is held still while
// the cancel question is open, before a file and inside its copy.
class RunReports : public SyncUiCallback {
public:
    RunReports(DWWorkDlg& window, std::function<void(DWWorkDlg&, std::uint32_t)> hook)
        : SyncUiCallback(&window), m_window(window), m_fnHook(std::move(hook))
    {
    }
    void OnRunStatus(const std::string& status) override
    {
        m_window.WaitWhilePaused();
        if (!status.empty() && m_fnHook)
            m_fnHook(m_window, m_processed);
        m_window.SetStatus(status);
    }
    void OnRunCount(const std::string& countText, std::uint32_t processed, std::uint32_t total) override
    {
        m_processed = processed;
        m_window.SetCount(countText);
        m_window.SetRange(total);
        m_window.SetPos(processed);
    }
    void OnFileProgress(std::uint64_t, std::uint64_t) override { m_window.WaitWhilePaused(); }
    // The disk-full message: shown over the progress window, which is
    // disabled meanwhile.
    void ShowMessage(const std::string& text, MessageIcon icon) override
    {
        OnUiThread([&] {
            m_window.setEnabled(false);
            KWMsgBox::Show(&m_window, text, IconOf(icon), KWMsgBox::kOk, KWMsgBox::kIdOk);
            m_window.setEnabled(true);
        });
    }

private:
    DWWorkDlg& m_window;
    std::function<void(DWWorkDlg&, std::uint32_t)> m_fnHook;
    std::uint32_t m_processed = 0;
};

}  // namespace

KWSyncDlg::KWSyncDlg(QWidget* owner, KWMainApp& app, SyncMode mode)
    : QDialog(owner), m_app(app), m_bInstant(mode == SyncMode::Instant)
{
    setObjectName("KWSyncDlg");
    setWindowTitle(Tr("sync_window_title"));
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

void KWSyncDlg::BuildUpper()
{
    m_upper = new QWidget(this);
    m_upper->setGeometry(0, 0, kWidth, kSmallHeight);
    auto* layout = new QVBoxLayout(m_upper);
    layout->setContentsMargins(24, 16, 24, 0);
    layout->setSpacing(6);

    auto side = [this](DWImageButton*& button, QLabel*& name, const QString& image, const QString& caption,
                       const char* objectName) {
        auto* column = new QVBoxLayout;
        column->setSpacing(2);
        const QPixmap pixmap = DWSkin::ContentImage(image);
        button = new DWImageButton(pixmap, pixmap, pixmap, caption, m_upper);
        button->setObjectName(objectName);
        button->setCursor(Qt::PointingHandCursor);
        auto* title = new QLabel(caption, m_upper);
        QFont bold = title->font();
        bold.setBold(true);
        title->setFont(bold);
        title->setAlignment(Qt::AlignCenter);
        name = new QLabel(m_upper);
        name->setAlignment(Qt::AlignCenter);
        name->setStyleSheet("color: #5a6470;");
        name->setFixedWidth(150);
        column->addWidget(button, 0, Qt::AlignHCenter);
        column->addWidget(title);
        column->addWidget(name);
        column->addStretch(1);
        return column;
    };

    auto* row = new QHBoxLayout;
    const QString driveName = QString::fromStdString(m_app.Device().volumeName());
    row->addLayout(side(m_btnUsb, m_lblUsbName, "Usb_Normal.png", driveName.isEmpty() ? "USB" : driveName,
                        "driveButton"));
    row->addStretch(1);

    auto* middle = new QVBoxLayout;
    middle->setSpacing(4);
    m_arrowRight = ImageLabel("Arrow_Green_Right.png", m_upper);
    m_arrowRight->setObjectName("arrowToComputer");
    m_arrowLeft = ImageLabel("Arrow_Green_Left.png", m_upper);
    m_arrowLeft->setObjectName("arrowToDrive");
    for (QLabel* arrow : {m_arrowRight, m_arrowLeft}) {
        arrow->setFixedHeight(18);
        QSizePolicy keep = arrow->sizePolicy();
        keep.setRetainSizeWhenHidden(true);
        arrow->setSizePolicy(keep);
    }
    m_btnSync = new DWImageButton("Sync", Tr("sync_normal"), m_upper);
    m_btnSync->setObjectName("syncButton");
    m_btnSync->setToolTip(Tr("sync_click"));
    middle->addStretch(1);
    middle->addWidget(m_arrowRight, 0, Qt::AlignHCenter);
    middle->addWidget(m_btnSync, 0, Qt::AlignHCenter);
    middle->addWidget(m_arrowLeft, 0, Qt::AlignHCenter);
    middle->addStretch(1);
    row->addLayout(middle);
    row->addStretch(1);
    const QString host = QSysInfo::machineHostName();
    row->addLayout(side(m_btnLocal, m_lblLocalName, "Computer_Normal.png", host.isEmpty() ? Tr("this_computer") : host,
                        "computerButton"));
    layout->addLayout(row);

    auto* separator = new QFrame(m_upper);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    layout->addWidget(separator);

    auto* detailsRow = new QHBoxLayout;
    m_btnArrow = new DWImageButton(DWSkin::Image("Arrow_Normal.png"), DWSkin::Image("Arrow_Pushed.png"),
                                   DWSkin::Image("Arrow_Down.png"), Tr("show_details"), m_upper);
    m_btnArrow->setObjectName("detailsArrow");
    m_btnArrow->setCheckable(true);
    m_btnDetails = new QPushButton(Tr("show_details"), m_upper);
    m_btnDetails->setObjectName("detailsButton");
    m_btnDetails->setFlat(true);
    m_btnDetails->setCursor(Qt::PointingHandCursor);
    detailsRow->addWidget(m_btnArrow);
    detailsRow->addWidget(m_btnDetails);
    detailsRow->addStretch(1);
    layout->addLayout(detailsRow);
    layout->addSpacing(6);

    connect(m_btnSync, &QAbstractButton::clicked, this, &KWSyncDlg::StartSync);
    connect(m_btnUsb, &QAbstractButton::clicked, this, [this] { RevealFolder(m_pair.usb); });
    connect(m_btnLocal, &QAbstractButton::clicked, this, [this] { RevealFolder(m_pair.computer); });
    auto toggle = [this] {
        if (m_animation->state() != QAbstractAnimation::Running)
            ShowDetails(!m_bDetailsShown);
        m_btnArrow->setChecked(m_bDetailsShown);
    };
    connect(m_btnArrow, &QAbstractButton::clicked, this, toggle);
    connect(m_btnDetails, &QAbstractButton::clicked, this, toggle);
    m_arrowRight->hide();
    m_arrowLeft->hide();
}

void KWSyncDlg::BuildDetails()
{
    m_details = new QWidget(this);
    auto* layout = new QVBoxLayout(m_details);
    layout->setContentsMargins(16, 0, 16, 14);
    layout->setSpacing(8);

    m_model = new SyncRowModel(this);
    m_model->SetColours(DWSkin::ToQColor(DWSkin::Theme().UsbColour()),
                        DWSkin::ToQColor(DWSkin::Theme().LocalColour()));
    m_table = new QTableView(m_details);
    m_table->setObjectName("syncList");
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setShowGrid(false);
    m_table->setAlternatingRowColors(false);
    m_table->setWordWrap(false);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(22);
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    QHeaderView* header = m_table->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    header->setHighlightSections(false);
    const int widths[] = {185, 75, 115, 85};
    // Each heading fits in every language; the name column gives up the room.
    int extra = 0;
    for (int i = 1; i < 4; ++i) {
        const int width = std::max(widths[i], header->sectionSizeHint(i));
        extra += width - widths[i];
        m_table->setColumnWidth(i, width);
    }
    m_table->setColumnWidth(0, std::max(110, widths[0] - extra));
    header->setStretchLastSection(true);
    layout->addWidget(m_table, 1);

    auto* infoRow = new QHBoxLayout;
    infoRow->setSpacing(6);
    auto smallImage = [this](const QString& image) {
        auto* label = new QLabel(m_details);
        label->setPixmap(DWSkin::ContentImage(image).scaled(24, 24, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        label->setFixedSize(26, 26);
        return label;
    };
    m_imgUsb = smallImage("Usb_Volume.png");
    m_imgLocal = smallImage("Computer.png");
    m_lblPath = new ElidedPathLabel(m_details);
    m_lblPath->setObjectName("pathLabel");
    QFont pathFont("Arial", 8);
    pathFont.setBold(true);
    m_lblPath->setFont(pathFont);
    m_lblPath->setMinimumWidth(60);
    m_lblPath->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_btnRefresh = new DWImageButton("Reload", Tr("refresh_sync_list"), m_details);
    m_btnRefresh->setObjectName("refreshButton");
    m_btnRefresh->setToolTip(Tr("refresh_sync_list"));
    m_btnLog = new DWImageButton("Log", Tr("error_log"), m_details);
    m_btnLog->setObjectName("logButton");
    m_btnLog->setToolTip(Tr("error_log"));
    infoRow->addWidget(m_imgUsb);
    infoRow->addWidget(m_imgLocal);
    infoRow->addWidget(m_lblPath, 1);
    infoRow->addWidget(m_btnRefresh);
    infoRow->addWidget(m_btnLog);
    layout->addLayout(infoRow);

    // Without the log the refresh button takes the log button's place at the end.
    m_bLogShown = KXAppPrefs::Bool(prefkey::kSyncLog);
    m_btnLog->setVisible(m_bLogShown);
    m_btnRefresh->hide();
    m_imgUsb->hide();
    m_imgLocal->hide();

    connect(m_btnRefresh, &QAbstractButton::clicked, this, [this] { (void)RebuildList(); });
    connect(m_btnLog, &QAbstractButton::clicked, this, &KWSyncDlg::OpenLog);
    connect(m_model, &SyncRowModel::checksChanged, this, [this] { UpdateArrowsAndTips(true); });
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { UpdateSelectedInfo(); });
    connect(header, &QHeaderView::sectionClicked, this, &KWSyncDlg::OnHeaderClicked);
    connect(m_table, &QWidget::customContextMenuRequested, this, &KWSyncDlg::OnListMenu);
}

bool KWSyncDlg::Prepare()
{
    const KXAppPaths& paths = m_app.Paths();
    const SyncPlace place{paths.RunPath(), paths.DataPath(), ScrambleIdentity(ComputerIdentity())};
    SyncUiCallback callback(parentWidget());
    const fs::path usb = SyncUsbPath(place.runPath);
    callback.SetChooser([&]() -> std::optional<fs::path> {
        KWSyncFolder chooser(parentWidget(), usb, m_probe);
        if (chooser.exec() != QDialog::Accepted)
            return std::nullopt;
        return chooser.getFolderPath();
    });
    const std::optional<SyncFolderPair> pair = GetFolderInfo(place, callback, m_probe);
    if (!pair)
        return false;
    m_pair = *pair;
    auto shortName = [](QLabel* label, const fs::path& folder) {
        const QString name = QString::fromStdString(folder.filename().string());
        label->setText(label->fontMetrics().elidedText(name, Qt::ElideMiddle, label->width()));
    };
    shortName(m_lblUsbName, m_pair.usb);
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

bool KWSyncDlg::Animating() const { return m_animation->state() == QAbstractAnimation::Running; }

QWidget* KWSyncDlg::ArrowToComputer() const { return m_arrowRight; }
QWidget* KWSyncDlg::ArrowToDrive() const { return m_arrowLeft; }

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
        (void)RebuildList();
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
        m_btnDetails->setText(Tr("hide_details"));
    } else {
        m_btnRefresh->hide();
        m_btnArrow->setChecked(false);
        m_btnDetails->setText(Tr("show_details"));
        m_timerHoldOff.start();
    }
}

bool KWSyncDlg::RebuildList()
{
    m_model->Clear();
    m_nFromDrive = m_nFromComputer = 0;
    UpdateSelectedInfo();
    const bool subfolders = KXAppPrefs::Bool(prefkey::kSyncSubfolders);
    const std::string first = subfolders ? KXStrings::Format("sync_wait_msg", 0, 0)
                                         : KXStrings::Format("sync_wait_msg_no_sub", 0);
    DWWaitDlg wait(this, Tr("sync_wait_title"), QString::fromStdString(first));

    // Rows are shown while the scan runs; they arrive in batches.
    m_model->SetRoots(m_pair.computer, m_pair.usb);
    ScanFeed feed;
    auto drain = [this, &feed] {
        std::vector<ItemData> batch;
        {
            std::lock_guard lock(feed.mutex);
            batch.swap(feed.pending);
        }
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
    const fs::path usb = m_pair.usb;
    const SyncPacing pacing = m_pacing;
    const bool finished = wait.Run([&feed, computer, usb, pacing, subfolders](DWWorkDlg& window) {
        SyncControl control(EngineCancel(window));
        ScanReports reports(window, feed);
        SyncScanner scanner(reports, control, subfolders ? Recursion::Into : Recursion::TopOnly, pacing);
        scanner.SetRowKeeping(RowKeeping::CallbackOnly);
        std::vector<ItemData> rows;
        (void)scanner.Scan(computer, usb, rows);
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

    DWProgressDlg progress(this, Tr("sync_progress_title"));
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
    options.driveFolder = m_pair.usb;
    SyncRunResult result;
    const auto hook = m_fnBeforeEachFile;
    (void)progress.Run([&rows, &result, options, hook](DWWorkDlg& window) {
        SyncControl control(EngineCancel(window));
        RunReports reports(window, hook);
        ScanCounters counters;
        RecountDirections(rows, counters);
        SyncRunner runner(reports, control, options);
        result = runner.Run(rows, counters);
    });
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
    QString usbTip = Tr("sync_browse_usb") + "\n\n" + QString::fromStdString(m_pair.usb.string());
    QString localTip = Tr("sync_browse_local") + "\n\n" + QString::fromStdString(m_pair.computer.string());
    if (m_bDetailsShown) {
        m_arrowRight->setVisible(m_nFromDrive > 0);
        m_arrowLeft->setVisible(m_nFromComputer > 0);
        if (m_nFromDrive > 0)
            usbTip = QString::fromStdString(KXStrings::Format("sync_tip_usb", m_nFromDrive)) + "\n\n" + usbTip;
        if (m_nFromComputer > 0)
            localTip =
                QString::fromStdString(KXStrings::Format("sync_tip_local", m_nFromComputer)) + "\n\n" + localTip;
    } else {
        m_arrowRight->hide();
        m_arrowLeft->hide();
    }
    m_btnUsb->setToolTip(usbTip);
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
        m_imgUsb->hide();
        m_imgLocal->hide();
        m_lblPath->SetPath({});
        return;
    }
    const int row = selected.first().row();
    m_imgUsb->setVisible(m_model->FromDrive(row));
    m_imgLocal->setVisible(!m_model->FromDrive(row));
    m_lblPath->SetPath(QString::fromStdString(m_model->SourcePath(row)));
}

QString KWSyncDlg::PathText() const { return m_lblPath->Path(); }
QString KWSyncDlg::PathShownText() const { return m_lblPath->ShownText(); }
bool KWSyncDlg::SourceImageShown(bool drive) const
{
    return drive ? !m_imgUsb->isHidden() : !m_imgLocal->isHidden();
}

void KWSyncDlg::OnHeaderClicked(int section)
{
    // A second click on the same column turns the order round.
    m_sortOrder = section == m_nSortColumn && m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                               : Qt::AscendingOrder;
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
    QAction* wipeUsb = menu.addAction(Tr("sync_wipe_usb_item"));
    QAction* wipeLocal = menu.addAction(Tr("sync_wipe_local_item"));
    QAction* chosen = menu.exec(m_table->viewport()->mapToGlobal(at));
    if (chosen == wipeUsb)
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

    DWWaitDlg wait(this, Tr("sync_wait_title"), Tr("sync_wipe_usb_msg"));
    const fs::path folder = driveFolder ? m_pair.usb : m_pair.computer;
    const bool pause = m_pacing.beforeRun.count() > 0;
    const bool finished = wait.Run([folder, pause](DWWorkDlg& window) {
        SyncControl control(EngineCancel(window));
        if (pause)
            PaceWait(std::chrono::milliseconds(500), control);
        (void)halvex::WipeFolder(folder, control);
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
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(log.string())));
    else
        KWMsgBox::Show(this, KXStrings::GetString("no_log_yet"), KWMsgBox::kNote, KWMsgBox::kOk);
}
