#include "app/main/KWMainApp.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

#include "toolkit/DWSkin.h"
#include "toolkit/KWMsgBox.h"
#include "app/main/KWPelloryDlg.h"
#include "app/main/QuitSignals.h"
#include "app/main/SingleInstance.h"
#include "app/main/ToolWindows.h"
#include "plist/DXPlistPrefs.h"
#include "prefs/KXAppPrefs.h"
#include "strings/KXStrings.h"
#include "toolkit/AppText.h"
#include "toolkit/PathText.h"
#include "util/IgnoreResult.h"

namespace {

// Shown when the string table cannot be read: no localised text exists yet.
constexpr char kLaunchFailedTitle[] = "Halvex Dravane";
constexpr char kLaunchFailedText[] =
    "Halvex Dravane failed to launch because the required resource files can not be loaded.";
constexpr char kInstanceName[] = "HalvexFlashMgrAppMutex";

std::vector<std::string> ToStd(const QStringList& list)
{
    std::vector<std::string> out;
    for (const QString& s : list)
        out.push_back(s.toStdString());
    return out;
}

}  // namespace

KWMainApp::KWMainApp() = default;

KWMainApp::~KWMainApp()
{
    CleanUp();
}

KWMainApp::StartResult KWMainApp::StartUp(const QStringList& arguments)
{
    // 1. The run path: argument 1, else the program's place in the bundle.
    m_paths = KXAppPaths::FromCommandLine(ToStd(arguments));
    if (!m_paths)
        return StartResult::End;

    // 2. The data folder and the preferences. A folder that cannot be made is
    // told once the drive is accepted and the texts are there.
    const halvex::Status dataFolder = m_paths->CreateDataFolder();
    KXAppPrefs::AddSuitePreferences();
    KXAppPrefs::InitWithPath(m_paths->AppPrefsPath());

    // 3. A sync log left by an earlier run.
    m_paths->DeleteSyncLog();

    // 4. The strings of the user's language.
    if (!LoadStrings())
        return StartResult::End;

    // 5. The drive test.
    if (!CheckDrive())
        return StartResult::End;

    // 6. The look.
    DWSkin::Init(m_paths->ResourcesPath(), KXAppPrefs::Bool(halvex::prefkey::kWinUI));

    // 7. One copy per user.
    if (!m_paths->TempFolder().empty()) {
        m_instance = std::make_unique<SingleInstance>(m_paths->TempFolder(), kInstanceName);
        if (!m_instance->Acquire()) {
            // The desktop's token is for the copy that will show its window;
            // this copy's message must not spend it.
            const QString activationToken = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
            qunsetenv("XDG_ACTIVATION_TOKEN");
            m_instance->NotifyRunning(activationToken);
            KWMsgBox::Show(nullptr, KXStrings::GetString("app_running"), KWMsgBox::kNote, KWMsgBox::kOk);
            m_instance.reset();
            return StartResult::End;
        }
    }

    if (!dataFolder)
        KWMsgBox::Show(nullptr,
                       FailureText("err_data_folder_create",
                                   "The folder \"Halvex Data\" could not be created on the USB flash drive, so "
                                   "your settings and your sync folder cannot be kept.",
                                   dataFolder),
                       KWMsgBox::kStop, KWMsgBox::kOk);

    // Settings files that could not be read were kept aside, not replaced.
    for (const std::filesystem::path& file : DXPlistPrefs::TakeSetAsideFiles())
        KWMsgBox::Show(nullptr, TextFormat("plist_damaged", PathText(file).toStdString()), KWMsgBox::kCaution,
                       KWMsgBox::kOk);

    // 8. The first-run gate.
    if (!halvex::app::HandleSetup(*this, m_bSetupCompletedNow))
        return StartResult::End;
    halvex::app::StartupAutoRunCheck(nullptr, *this);

    // The removal of the drive is noticed by this file vanishing, so it must
    // exist from here on even when nothing has been changed yet.
    if (!std::filesystem::exists(m_paths->AppPrefsPath()))
        halvex::IgnoreResult(KXAppPrefs::Sync(), "only a first run gets here, and its failed write has been shown");

    // 9. The main window.
    m_mainWindow = std::make_unique<KWPelloryDlg>(*this, m_bSetupCompletedNow);
    if (m_instance)
        connect(m_instance.get(), &SingleInstance::showRequested, m_mainWindow.get(),
                &KWPelloryDlg::ShowFromSecondStart);
    m_mainWindow->Open();
    halvex::app::CheckForUpdatesInBackground(m_mainWindow.get(), *this);
    return StartResult::Continue;
}

int KWMainApp::Run(const QStringList& arguments)
{
    if (StartUp(arguments) == StartResult::End) {
        CleanUp();
        return 0;
    }
    QApplication::setQuitOnLastWindowClosed(false);
    QuitSignals quitSignals;
    connect(&quitSignals, &QuitSignals::quitRequested, m_mainWindow.get(),
            [this] { m_mainWindow->OnCommand(halvex::app::kCmdExit); });
    const int status = QApplication::exec();
    CleanUp();
    return status;
}

bool KWMainApp::LoadStrings()
{
    const halvex::Status loaded = KXStrings::Init(m_paths->ResourcesPath());
    if (loaded)
        return true;
    const std::string text = std::string(kLaunchFailedText) + " (" + loaded.detail + ")";
    std::fprintf(stderr, "%s\n", text.c_str());
    QMessageBox box(QMessageBox::Critical, kLaunchFailedTitle, QString::fromStdString(text), QMessageBox::Ok);
    if (!KWMsgBox::HasQueuedAnswers())
        box.exec();
    return false;
}

bool KWMainApp::CheckDrive()
{
    m_device =
        std::make_unique<KMDevice>(m_paths->RunPath(), halvex::DeviceSources::FromEnvironment(m_paths->RunPath()));
    if (m_device->isAssumed())
        std::fprintf(stderr, "HalvexDravane: HALVEX_ASSUME_USB is set: %s is taken as a USB drive of the suite.\n",
                     m_paths->RunPath().c_str());
    if (m_device->runFromDevice())
        return true;
    // The other builds end here without a word; one line on standard error
    // saves a puzzled user on Linux the guesswork.
    std::fprintf(stderr,
                 "HalvexDravane: %s is not on a USB drive, so the suite does not start. "
                 "To try it without a drive, set HALVEX_ASSUME_USB=1.\n",
                 m_paths->RunPath().c_str());
    return false;
}

QString KWMainApp::DriveText() const
{
    if (!m_device)
        return {};
    return PathText(m_device->mountPath());
}

void KWMainApp::CleanUp()
{
    m_mainWindow.reset();  // removes the tray icon
    if (m_paths)
        m_paths->DeleteSyncLog();
    m_instance.reset();
    m_device.reset();
}
