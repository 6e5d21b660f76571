#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;

// The start-up question whether to install the auto-run agent. Yes ends it
// with Accepted; "Do not ask me again" is read after it closes.
class KWAutoRunDlg : public QDialog {
    Q_OBJECT

public:
    explicit KWAutoRunDlg(QWidget* owner);

    bool AskAgain() const;
    QCheckBox* DoNotAskBox() const { return m_doNotAsk; }
    QPushButton* YesButton() const { return m_btnYes; }
    QPushButton* NoButton() const { return m_btnNo; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QCheckBox* m_doNotAsk;
    QPushButton* m_btnYes;
    QPushButton* m_btnNo;
};
