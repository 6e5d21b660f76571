#include "toolkit/DWWorkDlg.h"

#include <QMetaObject>
#include <QShowEvent>
#include <QTimer>

DWWorkDlg* DWWorkDlg::m_sActive = nullptr;

DWWorkDlg::DWWorkDlg(QWidget* owner) : QDialog(owner)
{
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);
}

DWWorkDlg::~DWWorkDlg()
{
    // Run always joins; this only guards a window destroyed mid-run.
    if (m_thread.joinable()) {
        m_bCancel = true;
        Pause(false);
        m_thread.join();
    }
}

bool DWWorkDlg::Run(WorkRoutine work)
{
    m_bCancel = m_bPause = m_bDone = m_bShutDown = m_bReady = false;
    m_bWorkReturned = false;
    DWWorkDlg* previous = m_sActive;
    m_sActive = this;

    m_thread = std::thread([this, work = std::move(work)] {
        if (work)
            work(*this);
        QMetaObject::invokeMethod(
            this, [this] { WorkFinished(); }, Qt::QueuedConnection);
    });

    exec();

    if (m_thread.joinable())
        m_thread.join();
    m_sActive = previous;
    return !m_bCancel.load();
}

void DWWorkDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_bReady.exchange(true))
        return;
    // A work routine that ended before the window was up closes it now that
    // it has been shown, after one turn of the event loop to paint it.
    if (m_bWorkReturned)
        QTimer::singleShot(0, this, [this] { WorkFinished(); });
}

void DWWorkDlg::WorkFinished()
{
    m_bWorkReturned = true;
    if (!m_bReady.load())
        return;  // showEvent closes it
    m_bDone = true;
    if (isVisible())
        done(QDialog::Accepted);
    else
        QTimer::singleShot(0, this, [this] { done(QDialog::Accepted); });
}

void DWWorkDlg::reject()
{
    if (m_bWorkReturned && m_bDone) {
        QDialog::reject();
        return;
    }
    OnCancel();
}

void DWWorkDlg::OnCancel()
{
    // The wait window cancels at once, without a question; it stays up
    // until the work routine has returned.
    m_bCancel = true;
}

void DWWorkDlg::RequestStop()
{
    setEnabled(false);
    m_bCancel = true;
    m_bDone = true;
    m_bShutDown = true;
    Pause(false);
}

void DWWorkDlg::Pause(bool pause)
{
    {
        std::lock_guard lock(m_mutex);
        m_bPause = pause;
    }
    m_pauseChanged.notify_all();
}

void DWWorkDlg::WaitWhilePaused()
{
    std::unique_lock lock(m_mutex);
    m_pauseChanged.wait(lock, [this] { return !m_bPause.load(); });
}

void DWWorkDlg::SetMessage(const std::string& text)
{
    WaitWhilePaused();
    {
        std::lock_guard lock(m_mutex);
        if (text == m_strLastMessage)
            return;
        m_strLastMessage = text;
    }
    emit messageChanged(QString::fromStdString(text));
}

void DWWorkDlg::SetCount(const std::string& text)
{
    WaitWhilePaused();
    {
        std::lock_guard lock(m_mutex);
        if (text == m_strLastCount)
            return;
        m_strLastCount = text;
    }
    emit countChanged(QString::fromStdString(text));
}

void DWWorkDlg::SetRange(std::int64_t maximum)
{
    emit rangeChanged(maximum);
}

void DWWorkDlg::SetPos(std::int64_t position)
{
    WaitWhilePaused();
    emit positionChanged(position);
}

QString DWWorkDlg::PercentText(std::int64_t position, std::int64_t maximum)
{
    const std::int64_t span = maximum == 0 ? 1 : (maximum < 0 ? -maximum : maximum);
    if (position < 0)
        position = 0;
    if (maximum >= 0 && position > maximum)
        position = maximum;
    // 128-bit product: byte counts of large copies overflow 64 bits times 100.
    const auto value = static_cast<std::int64_t>(static_cast<__int128>(position) * 100 / span);
    const std::int64_t shown = value == 100 ? 100 : value % 100;
    return QString::asprintf("%d%c", static_cast<int>(shown), '%');
}
