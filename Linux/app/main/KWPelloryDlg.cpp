#include "app/main/KWPelloryDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QFileSystemWatcher>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QToolButton>

#include <filesystem>

#include "toolkit/AppText.h"
#include "toolkit/DWImageButton.h"
#include "toolkit/DWMenuButton.h"
#include "toolkit/DWProgressBar.h"
#include "toolkit/DWSkin.h"
#include "toolkit/DWTrayIcon.h"
#include "toolkit/DWWorkDlg.h"
#include "app/main/KWMainApp.h"
#include "toolkit/KWMsgBox.h"
#include "app/main/MountNotifier.h"
#include "app/main/ToolWindows.h"
#include "prefs/KXAppPrefs.h"
#include "strings/KXStrings.h"
#include "system/DisplayPlatform.h"
#include "toolkit/PathText.h"

using namespace halvex::app;

namespace {

constexpr int kWidth = 520;
constexpr int kHeight = 262;
constexpr int kBandHeight = 58;
// statvfs is cheap; a few seconds is soon enough for a bar of this size.
constexpr int kSpacePollMs = 2000;

}  // namespace

KWPelloryDlg::KWPelloryDlg(KWMainApp& app, bool setupCompletedNow, QWidget* parent)
    : QWidget(parent), m_app(app), m_bSetupCompletedNow(setupCompletedNow)
{
    setWindowTitle(TextOr("main_window_title"));
    const QPixmap appImage = DWSkin::ContentImage("App.png");
    if (!appImage.isNull())
        setWindowIcon(QIcon(appImage));
    setFixedSize(kWidth, kHeight);
    setAttribute(Qt::WA_DeleteOnClose, false);

    for (QTimer* timer : {&m_timerDropGuard, &m_timerInstantSync, &m_timerHide, &m_timerSpaceRefresh})
        timer->setSingleShot(true);
    m_timerDropGuard.setInterval(300);
    m_timerInstantSync.setInterval(100);
    m_timerHide.setInterval(100);
    m_timerSpaceRefresh.setInterval(500);
    connect(&m_timerInstantSync, &QTimer::timeout, this, [this] { OnCommand(kCmdSyncInstant); });
    connect(&m_timerHide, &QTimer::timeout, this, [this] { hide(); });
    connect(&m_timerSpaceRefresh, &QTimer::timeout, this, [this] {
        if (isVisible())
            RefreshDriveSpace();
    });
    m_timerSpacePoll.setInterval(kSpacePollMs);
    connect(&m_timerSpacePoll, &QTimer::timeout, this, [this] {
        if (isVisible() && !isMinimized())
            RefreshDriveSpace();
    });

    BuildControls();

    QIcon trayIcon(DWSkin::ContentImage("SystemMenu.png"));
    if (trayIcon.isNull())
        trayIcon = windowIcon();
    m_tray = new DWTrayIcon(trayIcon, TextOr("tray_tooltip"), this, m_app.TrayProbe());
    connect(m_tray, &DWTrayIcon::availabilityChanged, this, &KWPelloryDlg::FollowTray);
    connect(m_tray, &DWTrayIcon::menuRequested, this, [this] {
        QMenu* menu = BuildTrayMenu();
        menu->popup(QCursor::pos());
    });
    if (!halvex::ProgramPlacesWindows(QGuiApplication::platformName().toStdString())) {
        // On Wayland a menu cannot be popped up beside the icon: the
        // desktop's notification area draws this one.
        m_desktopTrayMenu = new QMenu(this);
        FillCommandMenu(m_desktopTrayMenu);
        connect(m_desktopTrayMenu, &QMenu::aboutToShow, this, [this] { FillCommandMenu(m_desktopTrayMenu); });
        m_tray->SetDesktopMenu(m_desktopTrayMenu);
    }
    connect(m_tray, &DWTrayIcon::doubleClicked, this, [this] {
        if (!isVisible() && m_bToolFlag)
            OnCommand(kCmdToggleMain);
    });

    WatchDrive();
}

KWPelloryDlg::~KWPelloryDlg()
{
    if (m_tray)
        m_tray->Remove();
}

QAbstractButton* KWPelloryDlg::MakeMainButton(const QString& imageBase, const QString& label, int command)
{
    QAbstractButton* button = nullptr;
    auto* image = new DWImageButton(imageBase, label, this);
    if (image->HasImages()) {
        button = image;
    } else {
        // The system look: a standard tool button with the picture as its icon.
        delete image;
        auto* tool = new QToolButton(this);
        tool->setIcon(QIcon(DWSkin::ContentImage(imageBase + "_Normal.png")));
        tool->setIconSize(QSize(40, 40));
        tool->setToolTip(label);
        tool->setAccessibleName(label);
        button = tool;
    }
    connect(button, &QAbstractButton::clicked, this, [this, command] { OnCommand(command); });
    return button;
}

void KWPelloryDlg::BuildControls()
{
    const QString syncLabel = TextOr("sync_window_title");
    const QString backupLabel = TextOr("backup_backup");
    const QString prefsLabel = TextOr("prefs_window_title");

    m_btnSync = MakeMainButton("Main_Sync", syncLabel, kCmdSyncButton);
    // The arrow beside a tool opens its other choices; a screen reader must
    // not hear it as a second button of the same name.
    m_btnSyncDrop =
        MakeMainButton("Main_Drop", TextFormat("access_more_choices", syncLabel.toStdString()), kCmdSyncDrop);
    m_btnBackup = MakeMainButton("Main_Backup", backupLabel, kCmdBackupButton);
    m_btnBackupDrop =
        MakeMainButton("Main_Drop", TextFormat("access_more_choices", backupLabel.toStdString()), kCmdBackupDrop);
    m_btnPrefs = MakeMainButton("Main_Prefs", prefsLabel, kCmdPrefsButton);

    const int top = kBandHeight + 16;
    m_btnSync->setGeometry(62, top, 64, 64);
    m_btnSyncDrop->setGeometry(126, top, 18, 64);
    m_btnBackup->setGeometry(218, top, 64, 64);
    m_btnBackupDrop->setGeometry(282, top, 18, 64);
    m_btnPrefs->setGeometry(386, top, 64, 64);
    for (auto [button, text] :
         {std::pair{m_btnSync, syncLabel}, {m_btnBackup, backupLabel}, {m_btnPrefs, prefsLabel}}) {
        // Drawn on the background, centred under the button; a long
        // translation takes a second line rather than being cut.
        const QRect r = button->geometry();
        m_labels.push_back({QRect(r.center().x() - 75, r.bottom() + 4, 150, 36), text});
    }

    auto* logo = new DWImageButton(DWSkin::ContentImage("Logo.png"), {}, {}, TextOr("web_home"), this);
    logo->setGeometry(16, 11, logo->sizeHint().width(), logo->sizeHint().height());
    connect(logo, &QAbstractButton::clicked, this, [this] { OnCommand(kCmdLogo); });
    m_btnLogo = logo;

    auto* welcome = new DWImageButton(DWSkin::ContentImage("Welcome.png"), {},
                                      DWSkin::ContentImage("Welcome_Selected.png"), TextOr("setup_title"), this);
    welcome->setGeometry(kWidth - 52, 9, 40, 40);
    connect(welcome, &QAbstractButton::clicked, this, [this] { OnCommand(kCmdWelcome); });
    m_btnWelcome = welcome;

    m_btnMenu = new DWMenuButton(TextOr("main_menu"), this);
    m_windowMenu = new QMenu(m_btnMenu);
    // Filled as it opens, so that its texts and greying follow the moment.
    connect(m_windowMenu, &QMenu::aboutToShow, this, [this] { FillCommandMenu(m_windowMenu); });
    m_btnMenu->setMenu(m_windowMenu);
    const int menuWidth = std::max(64, m_btnMenu->sizeHint().width() + 8);
    m_btnMenu->setGeometry(kWidth - 60 - menuWidth, 16, menuWidth, 26);
    m_btnMenu->hide();

    m_lblDrivePicture = new QLabel(this);
    m_lblDrivePicture->setPixmap(DWSkin::ContentImage("Usb_Volume.png"));
    m_lblDrivePicture->setGeometry(20, kHeight - 64, 48, 48);

    m_lblDriveLink = new QLabel(this);
    m_lblDriveLink->setGeometry(80, kHeight - 66, kWidth - 100, 22);
    m_lblDriveLink->setTextFormat(Qt::RichText);
    m_lblDriveLink->setCursor(Qt::PointingHandCursor);
    // Tab stops once at the link, and Return or Space opens it as a click does.
    m_lblDriveLink->setFocusPolicy(Qt::StrongFocus);
    m_lblDriveLink->setStyleSheet(QStringLiteral("QLabel:focus { border: 1px dotted palette(highlight); }"));
    m_lblDriveLink->installEventFilter(this);
    connect(m_lblDriveLink, &QLabel::linkActivated, this, [this] { OnCommand(kCmdDriveLink); });

    m_barSpace = new DWProgressBar(this);
    m_barSpace->setAccessibleName(TextOr("access_drive_space"));
    m_barSpace->setGeometry(80, kHeight - 38, kWidth - 100, 14);

    // Tab reads the window as it is drawn: the band at the top, the tools,
    // then the drive; the window opens with the focus on Sync.
    QWidget* previous = m_btnLogo;
    for (QWidget* next : std::initializer_list<QWidget*>{m_btnMenu, m_btnWelcome, m_btnSync, m_btnSyncDrop, m_btnBackup,
                                                         m_btnBackupDrop, m_btnPrefs, m_lblDriveLink}) {
        setTabOrder(previous, next);
        previous = next;
    }
    m_btnSync->setFocus(Qt::OtherFocusReason);
}

void KWPelloryDlg::WatchDrive()
{
    m_mountWatcher = new MountNotifier(this);
    connect(m_mountWatcher, &MountNotifier::mountsChanged, this, &KWPelloryDlg::CheckDriveRemoved);

    // Changes on the drive while the window is up refresh the space shown.
    m_fsWatcher = new QFileSystemWatcher(this);
    const std::filesystem::path run = m_app.Paths().RunPath();
    m_fsWatcher->addPath(PathText(run));
    const std::string syncFolder = KXStrings::GetString("sync_folder_usb");
    if (!syncFolder.empty() && std::filesystem::is_directory(run / syncFolder))
        m_fsWatcher->addPath(PathText(run / syncFolder));
    connect(m_fsWatcher, &QFileSystemWatcher::directoryChanged, this, [this] { m_timerSpaceRefresh.start(); });
}

void KWPelloryDlg::Place()
{
    // On Wayland the compositor places every window; a program cannot.
    if (!halvex::ProgramPlacesWindows(QGuiApplication::platformName().toStdString()))
        return;
    const QScreen* screen = QApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const int x = area.left() + (area.width() - width()) / 2;
    int y = area.top() + area.height() / 4 - height() / 4;
    if (y < area.top())
        y = area.top() + (area.height() - height()) / 2;
    move(x, y);
}

void KWPelloryDlg::Open()
{
    RefreshDriveSpace();
    FollowTray(m_tray->Available());
    Place();
    // Without a notification area a hidden window could never come back.
    if (!KXAppPrefs::Bool(halvex::prefkey::kShowMain) && TrayShown()) {
        showMinimized();
        m_timerHide.start();
    } else {
        show();
        raise();
        activateWindow();
    }
    m_bOpened = true;
    if (m_bSetupCompletedNow) {
        const int answer = KWMsgBox::Show(this, KXStrings::GetString("sync_after_setup"), KWMsgBox::kCaution,
                                          KWMsgBox::kYesNo, KWMsgBox::kIdYes);
        if (answer == KWMsgBox::kIdYes)
            m_timerInstantSync.start();
    }
}

bool KWPelloryDlg::TrayShown() const
{
    return m_tray && m_tray->IsShown();
}

bool KWPelloryDlg::CloseHides() const
{
    return TrayShown();
}

void KWPelloryDlg::FollowTray(bool available)
{
    if (m_bExiting)
        return;
    if (available)
        m_tray->Show();
    else
        m_tray->Remove();
    m_btnMenu->setVisible(!available);
    // The tray went away with the window hidden in it: bring the window back,
    // or the suite could only be reached by starting it again.
    if (!available && m_bToolFlag && (!isVisible() || isMinimized()) && m_bOpened)
        ToggleMain();
}

void KWPelloryDlg::HideMain()
{
    if (TrayShown())
        hide();
    else
        showMinimized();
}

void KWPelloryDlg::closeEvent(QCloseEvent* event)
{
    if (m_bExiting) {
        event->accept();
        return;
    }
    // The frame's close hides the window into the notification area; where
    // the desktop has none, it ends the suite as Exit does.
    if (CloseHides()) {
        event->ignore();
        hide();
        return;
    }
    Exit();
    event->accept();
}

bool KWPelloryDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_lblDriveLink && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            OnCommand(kCmdDriveLink);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void KWPelloryDlg::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
}

void KWPelloryDlg::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    RefreshDriveSpace();
    m_timerSpacePoll.start();
}

void KWPelloryDlg::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_timerSpacePoll.stop();
}

void KWPelloryDlg::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QColor band = DWSkin::SystemLook() ? palette().color(QPalette::Window)
                                             : DWSkin::ToQColor(DWSkin::Theme().GetColour("WindowFrameLight"));
    painter.fillRect(rect(), palette().color(QPalette::Base));
    QLinearGradient gradient(0, 0, 0, kBandHeight);
    gradient.setColorAt(0, band.lighter(104));
    gradient.setColorAt(1, band.darker(106));
    painter.fillRect(QRect(0, 0, width(), kBandHeight), gradient);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(0, kBandHeight, width(), kBandHeight);
    painter.drawLine(16, height() - 78, width() - 16, height() - 78);

    QFont font = painter.font();
    font.setBold(true);
    font.setPointSize(9);
    painter.setFont(font);
    painter.setPen(palette().color(QPalette::Text));
    for (const DrawnLabel& label : m_labels)
        painter.drawText(label.rect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, label.text);
}

QString KWPelloryDlg::DriveLinkText() const
{
    return QString::fromStdString(m_app.Device().volumeName()) + QStringLiteral(" (") + m_app.DriveText() + ')';
}

QString KWPelloryDlg::DriveSpaceToolTip() const
{
    return m_barSpace->toolTip();
}

void KWPelloryDlg::RefreshDriveSpace()
{
    KMDevice& device = m_app.Device();
    const QString link = DriveLinkText();
    // A long mount path is shortened in its middle; the tool tip keeps it whole.
    QFont bold = m_lblDriveLink->font();
    bold.setBold(true);
    const QString shown = QFontMetrics(bold).elidedText(link, Qt::ElideMiddle, m_lblDriveLink->width() - 4);
    m_lblDriveLink->setText(
        QStringLiteral("<a href=\"drive\" style=\"text-decoration:none\"><b>%1</b></a>").arg(shown.toHtmlEscaped()));
    m_lblDriveLink->setToolTip(link);

    // A drive that does not answer shows empty sizes and an empty bar until it
    // does. One look at the drive serves the bar and its texts.
    const halvex::Result<KMDevice::Space> sized = device.getSizeForTotal();
    const KMDevice::Space space = sized.ValueOr({});
    const KMDevice::SpaceText text = sized ? KMDevice::TextOf(space) : KMDevice::SpaceText{};
    m_barSpace->setToolTip(TextFormat("device_size", device.volumeName(), m_app.DriveText().toStdString(), text.total,
                                      text.used, text.free));
    m_barSpace->setAccessibleDescription(TextFormat("access_drive_space_detail", text.used, text.free));

    const auto usedKB = static_cast<std::int64_t>(space.used / 1024);
    m_barSpace->setRange(static_cast<std::int64_t>(space.total / 1024));
    if (usedKB != m_nLastUsedKB) {
        m_nLastUsedKB = usedKB;
        m_barSpace->setPosition(usedKB);
        m_barSpace->update();
    }
}

void KWPelloryDlg::ToggleMain()
{
    if (isVisible() && !isMinimized()) {
        HideMain();
    } else {
        showNormal();
        raise();
        activateWindow();
    }
}

void KWPelloryDlg::ShowFromSecondStart(const QString& activationToken)
{
    // A tool window is open: the main window stays hidden behind it.
    if (!m_bToolFlag)
        return;
    // A Wayland client is not told when the compositor minimises it, so there
    // the window is always brought forward.
    const bool wayland = !halvex::ProgramPlacesWindows(QGuiApplication::platformName().toStdString());
    if (!isVisible() || isMinimized() || wayland) {
        // Qt's Wayland platform activates with the token in this variable,
        // and clears it once used.
        if (!activationToken.isEmpty())
            qputenv("XDG_ACTIVATION_TOKEN", activationToken.toLatin1());
        showNormal();
        raise();
        activateWindow();
    }
}

void KWPelloryDlg::Exit()
{
    m_bExiting = true;
    m_tray->Remove();
    QApplication::quit();
}

void KWPelloryDlg::CheckDriveRemoved()
{
    if (m_bExiting || std::filesystem::exists(m_app.Paths().AppPrefsPath()))
        return;
    // The drive is gone: stop the work in progress, then end.
    m_bExiting = true;
    m_tray->Remove();
    if (DWWorkDlg* work = DWWorkDlg::Active())
        work->RequestStop();
    emit driveRemoved();
    QApplication::quit();
}
