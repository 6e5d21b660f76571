#pragma once

#include <functional>

#include "toolkit/DWWorkDlg.h"

class QLabel;
class QPushButton;
class DWProgressBar;
class DWSpinner;

// The progress window: a status line, a count line, a bar and its
// percentage, a turning sign of life for the long files that hold the bar
// still, and Cancel. Cancel asks the owner first (when a question is
// set) while the worker is held at its pause gate.
class DWProgressDlg : public DWWorkDlg {
    Q_OBJECT

public:
    DWProgressDlg(QWidget* owner, const QString& title);

    // The owner's cancel question: true confirms the cancel. None means no
    // confirmation.
    void SetCancelQuery(std::function<bool(DWProgressDlg&)> query) { m_fnCancelQuery = std::move(query); }

    QString StatusText() const;
    QString CountText() const;
    QString PercentageText() const;
    const DWProgressBar* Bar() const { return m_bar; }
    QPushButton* CancelButton() const { return m_cancel; }

protected:
    void OnCancel() override;
    void showEvent(QShowEvent* event) override;

private:
    void ShowPosition();

    DWSpinner* m_spinner;
    QLabel* m_status;
    QLabel* m_count;
    DWProgressBar* m_bar;
    QLabel* m_percent;
    QPushButton* m_cancel;
    std::function<bool(DWProgressDlg&)> m_fnCancelQuery;
    bool m_bAsking = false;
};
