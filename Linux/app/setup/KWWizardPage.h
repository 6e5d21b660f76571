#pragma once

#include <QString>
#include <QWidget>

class KWWizardDlg;

// One page of the wizard. Its controls are made on its first activation
// (Create); the hooks let it steer the wizard.
class KWWizardPage : public QWidget {
    Q_OBJECT

public:
    // Answers of NextPage and BackPage besides a page index.
    static constexpr int kStay = -1;
    static constexpr int kInOrder = -2;

    KWWizardPage(const QString& title, const QString& sideText);

    const QString& Title() const { return m_strTitle; }
    const QString& SideText() const { return m_strSide; }
    bool IsCreated() const { return m_bCreated; }

    virtual void OnActivate() {}
    virtual bool MayLeave() { return true; }
    virtual int NextPage() { return kInOrder; }
    virtual int BackPage() { return kInOrder; }
    virtual bool OnFinish() { return true; }
    virtual bool MayCancel() { return true; }

protected:
    friend class KWWizardDlg;
    virtual void Create() = 0;
    KWWizardDlg* Wizard() const { return m_wizard; }

private:
    QString m_strTitle;
    QString m_strSide;
    KWWizardDlg* m_wizard = nullptr;
    bool m_bCreated = false;
};
