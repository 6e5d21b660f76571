#include "app/prefs/KWPrefsDlg.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "toolkit/AppText.h"
#include "toolkit/DWSkin.h"
#include "prefs/KXAppPrefs.h"
#include "app/prefs/PrefsSaveFailure.h"
#include "strings/KXStrings.h"

KWPrefsDlg::KWPrefsDlg(QWidget* owner, PrefsContext context, Page page)
    : QDialog(owner),
      m_context(std::move(context)),
      m_list(new QListWidget),
      m_stack(new QStackedWidget),
      m_heading(new QLabel),
      m_general(new KWPrefsGeneral),
      m_sync(new KWPrefsSync(m_context)),
      m_advanced(new KWPrefsAdvanced(m_context)),
      m_btnOk(new QPushButton(TextOr("ok", "OK"))),
      m_btnCancel(new QPushButton(TextOr("cancel", "Cancel")))
{
    setWindowTitle(TextOr("prefs_window_title", "Preferences"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);
    setFixedSize(600, 360);

    const struct {
        const char* key;
        const char* fallback;
        const char* image;
        QWidget* page;
    } pages[] = {{"prefs_general", "General", "Prefs_General.png", m_general},
                 {"prefs_sync", "Sync", "Prefs_Sync.png", m_sync},
                 {"prefs_advanced", "Advanced", "Prefs_Advanced.png", m_advanced}};
    m_list->setAccessibleName(TextOr("access_prefs_pages"));
    m_list->setViewMode(QListView::IconMode);
    m_list->setFlow(QListView::TopToBottom);
    m_list->setMovement(QListView::Static);
    m_list->setIconSize(QSize(32, 32));
    m_list->setGridSize(QSize(104, 70));
    m_list->setFixedWidth(112);
    m_list->setSpacing(0);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setAutoFillBackground(true);
    QPalette listPalette = m_list->palette();
    listPalette.setColor(QPalette::Base, listPalette.color(QPalette::AlternateBase));
    m_list->setPalette(listPalette);
    for (const auto& entry : pages) {
        auto* item = new QListWidgetItem(QIcon(DWSkin::ContentImage(entry.image)), TextOr(entry.key, entry.fallback));
        item->setTextAlignment(Qt::AlignHCenter);
        item->setSizeHint(QSize(104, 70));
        m_list->addItem(item);
        auto* holder = new QWidget;
        auto* holderLayout = new QVBoxLayout(holder);
        holderLayout->setContentsMargins(0, 0, 0, 0);
        holderLayout->addWidget(entry.page);
        m_stack->addWidget(holder);
    }

    QFont headingFont = m_heading->font();
    headingFont.setBold(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.3);
    m_heading->setFont(headingFont);
    auto* rule = new QFrame;
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);

    auto* right = new QVBoxLayout;
    right->setContentsMargins(20, 16, 18, 0);
    right->setSpacing(10);
    right->addWidget(m_heading);
    right->addWidget(rule);
    right->addWidget(m_stack, 1);

    auto* top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(0);
    top->addWidget(m_list);
    auto* divider = new QFrame;
    divider->setFrameShape(QFrame::VLine);
    divider->setFrameShadow(QFrame::Sunken);
    top->addWidget(divider);
    top->addLayout(right, 1);

    for (QPushButton* button : {m_btnOk, m_btnCancel})
        button->setMinimumWidth(92);
    m_btnOk->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(18, 10, 18, 14);
    buttons->addStretch(1);
    buttons->addWidget(m_btnOk);
    buttons->addWidget(m_btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(top, 1);
    auto* bottomRule = new QFrame;
    bottomRule->setFrameShape(QFrame::HLine);
    bottomRule->setFrameShadow(QFrame::Sunken);
    layout->addWidget(bottomRule);
    layout->addLayout(buttons);

    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row < 0)
            return;
        m_stack->setCurrentIndex(row);
        m_heading->setText(m_list->item(row)->text());
    });
    connect(m_btnOk, &QPushButton::clicked, this, &KWPrefsDlg::accept);
    connect(m_btnCancel, &QPushButton::clicked, this, &KWPrefsDlg::reject);
    // Check boxes do not wrap: a longer translation widens the window instead.
    setFixedSize(std::max(width(), layout->sizeHint().width()), height());
    SelectPage(page);
}

void KWPrefsDlg::SelectPage(Page page)
{
    m_list->setCurrentRow(page);
}

KWPrefsDlg::Page KWPrefsDlg::CurrentPage() const
{
    return static_cast<Page>(m_list->currentRow());
}

void KWPrefsDlg::accept()
{
    bool changed = m_general->Save();
    changed = m_sync->Save() || changed;
    changed = m_advanced->Save() || changed;
    // A failed write (a read-only or removed drive) keeps the values for this run.
    if (changed) {
        if (const halvex::Status written = KXAppPrefs::Sync(); !written)
            halvex::app::ReportPrefsNotSaved(this, written);
    }
    m_advanced->ApplyAutoRun();
    QDialog::accept();
}
