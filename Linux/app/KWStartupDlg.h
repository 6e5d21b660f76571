#pragma once

#include <QDialog>
#include <QPixmap>

class QPushButton;

// The welcome window: Continue ends it with Accepted; Exit, the close
// button and Escape with Rejected.
class KWStartupDlg : public QDialog {
    Q_OBJECT

public:
    explicit KWStartupDlg(QWidget* owner, bool atFirstRun);

    QPushButton* ContinueButton() const { return m_btnContinue; }
    QPushButton* ExitButton() const { return m_btnExit; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_background;
    QPushButton* m_btnContinue;
    QPushButton* m_btnExit;
};
