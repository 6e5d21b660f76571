#include "KMApp.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <system_error>

#include "system/DisplayPlatform.h"
#include "system/Processes.h"
#include "UpdaterStrings.h"
#include "zip/ZipExtraction.h"
#include "strings/FormatText.h"
#include "update/PackageDownload.h"
#include "update/PackageSignature.h"
#include "update/UpdateInstaller.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kAlertTitle = "Halvex Updater";

}  // namespace

KMApp::KMApp()
{
    m_window = new QWidget(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint);
    m_window->setWindowTitle(QString::fromUtf8(kAlertTitle));
    m_window->setMinimumWidth(420);
    m_staticStatus = new QLabel(m_window);
    m_staticPercent = new QLabel(m_window);
    m_staticPercent->setMinimumWidth(m_staticPercent->fontMetrics().horizontalAdvance(QStringLiteral("100%")));
    m_staticPercent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_progressBar = new QProgressBar(m_window);
    m_progressBar->setTextVisible(false);
    auto* row = new QHBoxLayout;
    row->addWidget(m_progressBar, 1);
    row->addWidget(m_staticPercent);
    auto* layout = new QVBoxLayout(m_window);
    layout->addWidget(m_staticStatus);
    layout->addLayout(row);
    m_timer = new QTimer(this);
    m_timer->setInterval(100);
    connect(m_timer, &QTimer::timeout, this, &KMApp::showWorkerPosition);
    m_strings = halvex::LoadUpdaterStrings();
}

KMApp::~KMApp()
{
    if (m_worker.joinable())
        m_worker.join();
    delete m_window;
}

bool KMApp::applicationWillFinishLaunching(const std::vector<std::string>& arguments)
{
    const std::optional<halvex::UpdaterOptions> options = halvex::ParseUpdaterOptions(arguments);
    if (!options)
        return false;
    m_pid = options->pid;
    m_strName = options->name;
    m_strCurPath = options->curPath;
    m_strZipPath = options->zipPath;
    m_strVersion = options->version;
    m_strSignature = options->signature;
    m_bSilent = options->silent;
    startProgress();
    setStatus(QString::fromStdString(halvex::FormatText(m_strings.Get("update_status"), m_strName)));
    return true;
}

void KMApp::applicationDidFinishLaunching()
{
    QTimer::singleShot(100, this, &KMApp::startUpdate);
}

void KMApp::startProgress()
{
    setStatus(QString());
    m_staticPercent->setText(QStringLiteral("0%"));
    setRangeWithMin(0, 0);
    m_window->adjustSize();
    // On Wayland the compositor places the window; a program cannot.
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen && halvex::ProgramPlacesWindows(QGuiApplication::platformName().toStdString()))
        m_window->move(screen->availableGeometry().center() - m_window->rect().center());
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void KMApp::stopProgress()
{
    setPos(m_progressBar->maximum());
}

void KMApp::startUpdate()
{
    m_strUnzipPath = halvex::UnpackFolderFor(m_strZipPath);
    m_timer->start();
    m_worker = std::thread([this] { updateThread(); });
}

void KMApp::updateThread()
{
    // The suite quits right after starting us; its files are not replaced
    // while it still runs.
    if (!halvex::WaitForProcessEnd(m_pid, kSuiteEndLimit)) {
        Fail("process " + std::to_string(m_pid) + " did not end");
        m_bSuiteRuns = true;
    }
    // The package is checked here, as late as can be, since the temporary
    // folder is not the drive's: a file swapped there after the download is
    // refused too. The keys and the drive's version come from the drive.
    if (m_bUpdateGood) {
        if (const halvex::Status checked = halvex::CheckPackage(
                halvex::DrivePackageCheck(m_strCurPath, m_strZipPath, m_strVersion, m_strSignature));
            !checked) {
            Log(m_strZipPath.string() + ": " + checked.detail);
            Fail(m_strings.Get(checked.messageKey));
        }
    }
    std::error_code error;
    if (m_bUpdateGood) {
        fs::remove_all(m_strUnzipPath, error);
        if (halvex::Status unpacked = halvex::ExtractZipArchive(m_strZipPath, m_strUnzipPath); !unpacked) {
            Fail(m_strZipPath.string() + ": " + unpacked.messageKey + " " + unpacked.detail);
        }
    }
    if (m_bUpdateGood) {
        m_nNumOfFiles = static_cast<int>(halvex::CountEntries(m_strUnzipPath));
        halvex::InstallCallbacks callbacks;
        callbacks.step = [this] { ++m_nDone; };
        callbacks.log = [this](const std::string& line) { Log(line); };
        if (const halvex::Status installed =
                halvex::InstallUnpackedUpdate(m_strUnzipPath, halvex::InstallFolderFor(m_strCurPath),
                                              halvex::ReadArchiveModes(m_strZipPath), callbacks);
            !installed)
            Fail(installed.detail);
    }
    QMetaObject::invokeMethod(this, &KMApp::endUpdate, Qt::QueuedConnection);
}

void KMApp::endUpdate()
{
    if (m_worker.joinable())
        m_worker.join();
    m_timer->stop();
    showWorkerPosition();
    std::error_code error;
    // The next try downloads into a folder of its own, so the package goes
    // either way, with the folder made for it.
    fs::remove_all(m_strUnzipPath, error);
    halvex::RemovePackageDownload(m_strZipPath);
    stopProgress();
    // The full bar stays in view for a moment before the outcome.
    QTimer::singleShot(1000, this, &KMApp::finish);
}

void KMApp::finish()
{
    m_window->hide();
    const bool good = m_bUpdateGood;
    if (!m_bSilent) {
        const std::string text = good ? halvex::FormatText(m_strings.Get("update_good"), m_strName)
                                      : halvex::FormatText(m_strings.Get("update_fail_kept"), m_strName, ReasonText());
        QApplication::beep();
        QMessageBox alert(good ? QMessageBox::Information : QMessageBox::Warning, QString::fromUtf8(kAlertTitle),
                          QString::fromStdString(text), QMessageBox::Ok);
        alert.setWindowFlag(Qt::WindowStaysOnTopHint);
        alert.exec();
    }
    // After a good update the new version starts. After a failure the drive
    // holds the earlier version whole, and a user who watched the window
    // gets it back; the command line's user reads the outcome instead.
    if (good || (!m_bSilent && !m_bSuiteRuns))
        startSuite();
    QCoreApplication::exit(ExitStatus());
}

void KMApp::startSuite()
{
    // A drive whose programs may not run (FAT's showexec, noexec) is
    // started through its launcher, which also refreshes the user's
    // cached copy of the programs that were just replaced.
    const fs::path launcher = halvex::InstallFolderFor(m_strCurPath) / "HalvexDravane.sh";
    std::error_code error;
    const fs::file_status launcherStatus = fs::symlink_status(launcher, error);
    // A launcher that is a link could name any script of this computer.
    if (fs::is_symlink(launcherStatus)) {
        Log("Not started: " + launcher.string() + " is a link");
        return;
    }
    const bool viaLauncher = fs::is_regular_file(launcherStatus);
    const fs::path program = viaLauncher ? fs::path("/bin/sh") : halvex::RelaunchProgramFor(m_strCurPath);
    const std::vector<std::string> arguments =
        viaLauncher ? std::vector<std::string>{launcher.string()} : std::vector<std::string>{};
    if (const halvex::Result<pid_t> started = halvex::StartDetached(program, arguments); !started)
        Log("Could not start " + started.detail());
}

std::string KMApp::ReasonText() const
{
    std::lock_guard lock(m_reasonMutex);
    return m_strReason;
}

void KMApp::Fail(const std::string& reason)
{
    Log("Update Failed: " + reason);
    m_bUpdateGood = false;
    std::lock_guard lock(m_reasonMutex);
    if (m_strReason.empty())
        m_strReason = reason;
}

void KMApp::setStatus(const QString& text)
{
    m_staticStatus->setText(text);
}

void KMApp::setRangeWithMin(int minimum, int maximum)
{
    m_progressBar->setRange(minimum, maximum);
    setPos(minimum);
}

void KMApp::setPos(int position)
{
    m_progressBar->setValue(position);
    updatePercent();
}

void KMApp::updatePercent()
{
    const QString text = QString::fromStdString(
        halvex::UpdatePercentText(m_progressBar->value(), m_progressBar->minimum(), m_progressBar->maximum()));
    if (m_staticPercent->text() != text)
        m_staticPercent->setText(text);
}

void KMApp::showWorkerPosition()
{
    const int count = m_nNumOfFiles;
    if (count > 0 && m_progressBar->maximum() != count)
        setRangeWithMin(0, count);
    if (count > 0)
        setPos(std::min(m_nDone.load(), count));
}

void KMApp::Log(const std::string& line)
{
    std::fprintf(stderr, "%s\n", line.c_str());
}
