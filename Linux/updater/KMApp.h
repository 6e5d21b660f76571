#pragma once

#include <QObject>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "strings/StringTable.h"
#include "update/UpdaterOptions.h"

class QLabel;
class QProgressBar;
class QTimer;
class QWidget;

// The updater: waits for the suite to end, unpacks the package beside
// itself, places every changed file over the suite on the drive, tells the
// outcome and starts the suite again after a good update.
class KMApp : public QObject {
    Q_OBJECT

public:
    KMApp();
    ~KMApp() override;

    // Reads the arguments; false (end at once, silently) when one is missing.
    bool applicationWillFinishLaunching(const std::vector<std::string>& arguments);
    // Schedules the work 0.1 s after the event loop starts.
    void applicationDidFinishLaunching();

    // 0 after a good update, 1 otherwise.
    int ExitStatus() const { return m_bUpdateGood ? 0 : 1; }

    // How long the updater waits for the suite to end before it gives up
    // rather than replace the files of a running program.
    static constexpr std::chrono::seconds kSuiteEndLimit{30};

private:
    void startProgress();
    void stopProgress();
    void startUpdate();
    // Worker thread: wait, check the package, unpack, copy. Touches no widget.
    void updateThread();
    void endUpdate();
    void finish();
    void setStatus(const QString& text);
    void setRangeWithMin(int minimum, int maximum);
    void setPos(int position);
    void updatePercent();
    void showWorkerPosition();
    void Log(const std::string& line);
    // Logs "Update Failed: <reason>"; the first reason is what the user is
    // told. Any thread.
    void Fail(const std::string& reason);
    std::string ReasonText() const;
    void startSuite();

    QWidget* m_window = nullptr;
    QLabel* m_staticStatus = nullptr;
    QLabel* m_staticPercent = nullptr;
    QProgressBar* m_progressBar = nullptr;
    QTimer* m_timer = nullptr;

    pid_t m_pid = 0;
    std::string m_strName;
    std::filesystem::path m_strCurPath;
    std::filesystem::path m_strZipPath;
    std::string m_strVersion;
    std::string m_strSignature;
    std::filesystem::path m_strUnzipPath;
    std::atomic<int> m_nNumOfFiles{0};
    std::atomic<int> m_nDone{0};
    std::atomic<bool> m_bUpdateGood{true};
    bool m_bSilent = false;
    // The suite did not end: no second one is started after the failure.
    std::atomic<bool> m_bSuiteRuns{false};
    mutable std::mutex m_reasonMutex;
    std::string m_strReason;
    halvex::StringTable m_strings;
    std::thread m_worker;
};
