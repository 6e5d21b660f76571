#pragma once

#include "toolkit/DWWorkDlg.h"

class QLabel;
class QPushButton;
class DWSpinner;

// The wait window: an animation, one message line that the work updates,
// and Cancel, which cancels at once without a question.
class DWWaitDlg : public DWWorkDlg {
    Q_OBJECT

public:
    DWWaitDlg(QWidget* owner, const QString& title, const QString& message);

    QString MessageText() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    DWSpinner* m_spinner;
    QLabel* m_message;
    QPushButton* m_cancel;
};
