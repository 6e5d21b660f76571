#pragma once

#include <QDialog>
#include <QPixmap>

#include <vector>

class QLabel;
class QPushButton;
class QStackedLayout;
class KWWizardPage;

// The wizard frame: a step list at the side, a title line over the page
// area, and Back, Next, Finish and Cancel. Ends with Accepted on Finish and
// Rejected on Cancel.
class KWWizardDlg : public QDialog {
    Q_OBJECT

public:
    enum class StepState { Disabled, Normal, Selected };
    static constexpr int kMaxPages = 10;

    KWWizardDlg(QWidget* owner, const QString& title);

    // Takes the page; at most ten.
    void AddPage(KWWizardPage* page);

    // Pages may switch the button that moves on (Next or Finish).
    void EnableNext(bool enable);

    int CurrentIndex() const { return m_nCurrent; }
    KWWizardPage* Page(int index) const { return m_pages.at(static_cast<std::size_t>(index)).page; }
    int PageCount() const { return static_cast<int>(m_pages.size()); }
    StepState Step(int index) const { return m_pages.at(static_cast<std::size_t>(index)).state; }
    QString TitleText() const;
    QPushButton* BackButton() const { return m_btnBack; }
    QPushButton* NextButton() const { return m_btnNext; }
    QPushButton* FinishButton() const { return m_btnFinish; }
    QPushButton* CancelButton() const { return m_btnCancel; }

public slots:
    void Start();
    void Next();
    void Back();
    void Finish();
    void reject() override;  // Cancel, Escape and the frame's close

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    struct Entry {
        KWWizardPage* page;
        StepState state = StepState::Disabled;
        QLabel* dot = nullptr;
        QLabel* side = nullptr;
    };
    bool Leave();
    void Activate(int index);
    std::vector<QWidget*> PageChain(QWidget* page) const;
    void ButtonsAfter(QWidget* page);
    void FocusFirstControl(QWidget* page);
    void ShowStep(int index);
    QPixmap DotImage(StepState state) const;

    std::vector<Entry> m_pages;
    int m_nCurrent = -1;
    QWidget* m_stepList;
    QLabel* m_title;
    QStackedLayout* m_pageArea;
    QPushButton* m_btnBack;
    QPushButton* m_btnNext;
    QPushButton* m_btnFinish;
    QPushButton* m_btnCancel;
    QPixmap m_background;
};
