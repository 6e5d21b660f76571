#pragma once

#include <QDialog>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// The protocol shared by the wait and the progress window: the work runs on
// a worker thread while the window runs modally on the calling thread. The
// worker reports through the setters below, which turn into queued calls on
// the window; it never touches a widget. The window closes only after it has
// been shown, once the work routine has returned.
class DWWorkDlg : public QDialog {
    Q_OBJECT

public:
    using WorkRoutine = std::function<void(DWWorkDlg& window)>;

    explicit DWWorkDlg(QWidget* owner = nullptr);
    ~DWWorkDlg() override;

    // Runs the work behind the modal window. True when the work ended
    // without a cancel; false after a cancel or a stop request.
    bool Run(WorkRoutine work);

    // The work window being run, or null: the application sends it the stop
    // request when its drive goes away.
    static DWWorkDlg* Active() { return m_sActive; }

    // --- Called from the worker thread. Each text is sent only when it
    // differs from the last one sent.
    void SetMessage(const std::string& text);  // wait window: the message; progress: the status
    void SetStatus(const std::string& text) { SetMessage(text); }
    void SetCount(const std::string& text);
    void SetRange(std::int64_t maximum);
    void SetPos(std::int64_t position);
    bool IsCancelled() const { return m_bCancel.load(); }
    // Flags to hand to an engine: it stops at cancel and holds still at pause.
    // The engine may set the cancel itself; the run then ends as after Cancel.
    std::atomic<bool>& CancelFlag() { return m_bCancel; }
    const std::atomic<bool>& PauseFlag() const { return m_bPause; }
    // Blocks the worker while the owner is being asked whether to cancel.
    void WaitWhilePaused();

    // --- UI thread.
    // The stop request of a removed drive: disables the window and sets the
    // cancel, done and shut-down flags; the window closes when the work returns.
    void RequestStop();
    bool IsShutDown() const { return m_bShutDown.load(); }
    bool IsDone() const { return m_bDone.load(); }
    bool IsReady() const { return m_bReady.load(); }

    // "%d%c" of the position within the range: 100 as 100, any other value modulo 100.
    static QString PercentText(std::int64_t position, std::int64_t maximum);

public slots:
    void reject() override;  // Cancel button, Escape and the frame's close

signals:
    void messageChanged(const QString& text);
    void countChanged(const QString& text);
    void rangeChanged(qint64 maximum);
    void positionChanged(qint64 position);

protected:
    void showEvent(QShowEvent* event) override;
    // The Cancel of a subclass: by default the wait window's rule.
    virtual void OnCancel();
    void SetCancelled() { m_bCancel = true; }
    void Pause(bool pause);

private:
    void WorkFinished();  // UI thread, queued from the worker

    std::thread m_thread;
    std::atomic<bool> m_bCancel{false};
    std::atomic<bool> m_bPause{false};
    std::atomic<bool> m_bDone{false};
    std::atomic<bool> m_bShutDown{false};
    std::atomic<bool> m_bReady{false};
    bool m_bWorkReturned = false;
    std::mutex m_mutex;  // guards the last texts and the pause wait
    std::condition_variable m_pauseChanged;
    std::string m_strLastMessage;
    std::string m_strLastCount;
    static DWWorkDlg* m_sActive;
};
