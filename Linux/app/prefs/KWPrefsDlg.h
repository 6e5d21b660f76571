#pragma once

#include <QDialog>

#include "app/prefs/KWPrefsPages.h"

class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;

// The preferences window: General, Sync and Advanced. OK stores what
// changed: one write of the preference file when any value changed, none
// otherwise; then the auto-run agent follows its box.
class KWPrefsDlg : public QDialog {
    Q_OBJECT

public:
    enum Page { kGeneral = 0, kSync = 1, kAdvanced = 2 };

    KWPrefsDlg(QWidget* owner, PrefsContext context, Page page = kGeneral);

    void SelectPage(Page page);
    Page CurrentPage() const;
    KWPrefsGeneral* General() const { return m_general; }
    KWPrefsSync* Sync() const { return m_sync; }
    KWPrefsAdvanced* Advanced() const { return m_advanced; }
    QPushButton* OkButton() const { return m_btnOk; }
    QPushButton* CancelButton() const { return m_btnCancel; }

public slots:
    void accept() override;

private:
    PrefsContext m_context;
    QListWidget* m_list;
    QStackedWidget* m_stack;
    QLabel* m_heading;
    KWPrefsGeneral* m_general;
    KWPrefsSync* m_sync;
    KWPrefsAdvanced* m_advanced;
    QPushButton* m_btnOk;
    QPushButton* m_btnCancel;
};
