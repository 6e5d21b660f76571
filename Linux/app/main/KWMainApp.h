#pragma once

#include <QObject>
#include <QStringList>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "system/KMDevice.h"
#include "paths/KXAppPaths.h"

class KWPelloryDlg;
class SingleInstance;

// The application object: owns the paths, the drive and the main window for
// the whole run, and runs start-up and exit in the suite's order.
class KWMainApp : public QObject {
    Q_OBJECT

public:
    enum class StartResult { Continue, End };

    KWMainApp();
    ~KWMainApp() override;

    // Start-up, the main window's event loop, then exit. Answers the
    // process's exit status. `arguments` excludes the program name.
    int Run(const QStringList& arguments);

    // The start-up sequence up to the main window (tests drive it directly).
    StartResult StartUp(const QStringList& arguments);

    const KXAppPaths& Paths() const { return *m_paths; }
    KMDevice& Device() { return *m_device; }
    KWPelloryDlg* MainWindow() { return m_mainWindow.get(); }
    bool SetupCompletedNow() const { return m_bSetupCompletedNow; }
    // The drive's mount path shown where the other builds show a drive letter.
    QString DriveText() const;

    // Whether the desktop has a notification area; the system is asked unless
    // a test sets its own answer before StartUp.
    void SetTrayProbe(std::function<bool()> probe) { m_fnTrayProbe = std::move(probe); }
    const std::function<bool()>& TrayProbe() const { return m_fnTrayProbe; }

    // Exit: the sync log deleted, the tray icon removed, everything freed.
    void CleanUp();

private:
    bool LoadStrings();
    bool CheckDrive();

    std::optional<KXAppPaths> m_paths;
    std::unique_ptr<KMDevice> m_device;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<KWPelloryDlg> m_mainWindow;
    bool m_bSetupCompletedNow = false;
    std::function<bool()> m_fnTrayProbe;
};
