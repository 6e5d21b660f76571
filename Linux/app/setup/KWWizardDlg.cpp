#include "app/setup/KWWizardDlg.h"

#include <QBitmap>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStackedLayout>
#include <QVBoxLayout>

#include "toolkit/AppText.h"
#include "toolkit/DWSkin.h"
#include "app/setup/KWWizardPage.h"
#include "strings/KXStrings.h"

namespace {

constexpr int kSideWidth = 170;

// The theme's magenta stands for "transparent".
QPixmap WithoutMagenta(QPixmap image)
{
    if (!image.isNull())
        image.setMask(image.createMaskFromColor(QColor(255, 0, 255), Qt::MaskInColor));
    return image;
}

}  // namespace

KWWizardDlg::KWWizardDlg(QWidget* owner, const QString& title)
    : QDialog(owner),
      m_stepList(new QWidget),
      m_title(new QLabel),
      m_pageArea(new QStackedLayout),
      m_btnBack(new QPushButton(TextOr("btn_back", "< Back"))),
      m_btnNext(new QPushButton(TextOr("btn_next", "Next >"))),
      m_btnFinish(new QPushButton(TextOr("btn_finish", "Finish"))),
      m_btnCancel(new QPushButton(TextOr("cancel", "Cancel"))),
      m_background(WithoutMagenta(DWSkin::ContentImage("Setup_Background.png")))
{
    setWindowTitle(title);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);
    setFixedSize(660, 460);

    auto* steps = new QVBoxLayout(m_stepList);
    steps->setContentsMargins(14, 64, 8, 14);
    steps->setSpacing(10);
    steps->addStretch(1);
    m_stepList->setFixedWidth(kSideWidth);

    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.45);
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    m_title->setContentsMargins(0, 0, 0, 4);

    auto* rule = new QFrame;
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    auto* pageHolder = new QWidget;
    pageHolder->setLayout(m_pageArea);
    m_pageArea->setContentsMargins(2, 2, 2, 2);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* button : {m_btnBack, m_btnNext, m_btnFinish}) {
        button->setMinimumWidth(92);
        buttons->addWidget(button);
    }
    buttons->addSpacing(12);
    m_btnCancel->setMinimumWidth(92);
    buttons->addWidget(m_btnCancel);

    auto* right = new QVBoxLayout;
    right->setContentsMargins(22, 18, 18, 14);
    right->setSpacing(8);
    right->addWidget(m_title);
    right->addWidget(rule);
    right->addWidget(pageHolder, 1);
    auto* bottomRule = new QFrame;
    bottomRule->setFrameShape(QFrame::HLine);
    bottomRule->setFrameShadow(QFrame::Sunken);
    right->addWidget(bottomRule);
    right->addLayout(buttons);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_stepList);
    layout->addLayout(right, 1);

    connect(m_btnBack, &QPushButton::clicked, this, &KWWizardDlg::Back);
    connect(m_btnNext, &QPushButton::clicked, this, &KWWizardDlg::Next);
    connect(m_btnFinish, &QPushButton::clicked, this, &KWWizardDlg::Finish);
    connect(m_btnCancel, &QPushButton::clicked, this, &KWWizardDlg::reject);
    m_btnFinish->hide();
    m_btnBack->setEnabled(false);
}

void KWWizardDlg::AddPage(KWWizardPage* page)
{
    if (!page || PageCount() >= kMaxPages)
        return;
    page->m_wizard = this;
    page->setParent(this);
    page->hide();
    Entry entry{page};
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    entry.dot = new QLabel;
    entry.dot->setFixedSize(16, 16);
    entry.side = new QLabel(page->SideText());
    entry.side->setWordWrap(true);
    row->addWidget(entry.dot);
    row->addWidget(entry.side, 1);
    auto* steps = static_cast<QVBoxLayout*>(m_stepList->layout());
    steps->insertLayout(steps->count() - 1, row);
    m_pages.push_back(entry);
    ShowStep(PageCount() - 1);
}

QPixmap KWWizardDlg::DotImage(StepState state) const
{
    const char* name = state == StepState::Selected ? "Dot_Selected.png"
                       : state == StepState::Normal ? "Dot_Normal.png"
                                                    : "Dot_Disabled.png";
    QPixmap image = DWSkin::ContentImage(name);
    if (!image.isNull())
        return WithoutMagenta(image).scaled(16, 16, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    // Drawn when the theme has no dots.
    QPixmap dot(32, 32);
    dot.fill(Qt::transparent);
    QPainter painter(&dot);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(255, 255, 255, state == StepState::Disabled ? 110 : 230), 2.5));
    painter.setBrush(state == StepState::Selected ? QColor(255, 196, 61)
                     : state == StepState::Normal ? QColor(255, 255, 255, 200)
                                                  : QColor(255, 255, 255, 40));
    painter.drawEllipse(QRectF(4, 4, 24, 24));
    painter.end();
    dot.setDevicePixelRatio(2.0);
    return dot;
}

void KWWizardDlg::ShowStep(int index)
{
    Entry& entry = m_pages.at(static_cast<std::size_t>(index));
    entry.dot->setPixmap(DotImage(entry.state));
    QFont font = entry.side->font();
    font.setBold(entry.state == StepState::Selected);
    entry.side->setFont(font);
    const int alpha = entry.state == StepState::Disabled ? 150 : 255;
    entry.side->setStyleSheet(QStringLiteral("color: rgba(255,255,255,%1);").arg(alpha));
}

QString KWWizardDlg::TitleText() const
{
    return m_title->text();
}

void KWWizardDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_nCurrent < 0)
        Start();
}

void KWWizardDlg::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect side(0, 0, kSideWidth, height());
    QLinearGradient gradient(side.topLeft(), side.bottomLeft());
    gradient.setColorAt(0, QColor(28, 84, 150));
    gradient.setColorAt(1, QColor(16, 52, 98));
    painter.fillRect(side, gradient);
    if (!m_background.isNull()) {
        // At half strength, so that the step list stays readable over it.
        painter.setOpacity(0.5);
        painter.drawPixmap(side, m_background);
        painter.setOpacity(1.0);
    }
    QFont font = painter.font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.15);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(14, 18, kSideWidth - 20, 36), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap,
                     windowTitle());
}

void KWWizardDlg::EnableNext(bool enable)
{
    if (m_btnFinish->isHidden())
        m_btnNext->setEnabled(enable);
    else
        m_btnFinish->setEnabled(enable);
}

void KWWizardDlg::Start()
{
    if (m_pages.empty() || m_nCurrent >= 0)
        return;
    m_btnBack->setEnabled(false);
    const bool single = PageCount() < 2;
    m_btnNext->setHidden(single);
    m_btnNext->setEnabled(!single);
    m_btnFinish->setHidden(!single);
    m_btnFinish->setEnabled(single);
    Activate(0);
}

bool KWWizardDlg::Leave()
{
    return m_nCurrent < 0 || Page(m_nCurrent)->MayLeave();
}

void KWWizardDlg::Activate(int index)
{
    if (m_nCurrent >= 0 && m_nCurrent != index) {
        m_pages[static_cast<std::size_t>(m_nCurrent)].state = StepState::Normal;
        ShowStep(m_nCurrent);
        Page(m_nCurrent)->hide();
    }
    KWWizardPage* page = Page(index);
    if (!page->m_bCreated) {
        page->Create();
        page->m_bCreated = true;
        m_pageArea->addWidget(page);
        ButtonsAfter(page);
    }
    m_nCurrent = index;
    m_pages[static_cast<std::size_t>(index)].state = StepState::Selected;
    ShowStep(index);
    m_title->setText(page->Title());
    m_pageArea->setCurrentWidget(page);
    page->show();
    page->OnActivate();
    FocusFirstControl(page);
}

std::vector<QWidget*> KWWizardDlg::PageChain(QWidget* page) const
{
    // The page's own widgets as the focus chain holds them; they need not
    // follow the page there, as they join the chain as they are made.
    std::vector<QWidget*> chain;
    for (QWidget* next = nextInFocusChain(); next != this; next = next->nextInFocusChain())
        if (page->isAncestorOf(next))
            chain.push_back(next);
    return chain;
}

void KWWizardDlg::ButtonsAfter(QWidget* page)
{
    // A page's controls join the focus chain when it is first made, after the
    // buttons; Tab reads the page first, then the buttons below it.
    const std::vector<QWidget*> chain = PageChain(page);
    QWidget* last = chain.empty() ? page : chain.back();
    for (QPushButton* button : {m_btnBack, m_btnNext, m_btnFinish, m_btnCancel}) {
        setTabOrder(last, button);
        last = button;
    }
}

void KWWizardDlg::FocusFirstControl(QWidget* page)
{
    // The keyboard starts on the new page, not on a button that may just
    // have been hidden; a page with nothing to choose leaves it on the
    // button that goes on.
    for (QWidget* control : PageChain(page)) {
        if (control->isVisibleTo(this) && control->isEnabled() && (control->focusPolicy() & Qt::TabFocus)) {
            control->setFocus(Qt::TabFocusReason);
            return;
        }
    }
    (m_btnFinish->isHidden() ? m_btnNext : m_btnFinish)->setFocus(Qt::TabFocusReason);
}

void KWWizardDlg::Next()
{
    if (m_nCurrent < 0)
        return;
    const int request = Page(m_nCurrent)->NextPage();
    if (request == KWWizardPage::kStay)
        return;
    const int target = request == KWWizardPage::kInOrder ? m_nCurrent + 1 : request;
    if (target == m_nCurrent || target < 0 || target >= PageCount() || !Leave())
        return;
    const bool last = target == PageCount() - 1;
    m_btnNext->setHidden(last);
    m_btnNext->setEnabled(!last);
    m_btnFinish->setHidden(!last);
    m_btnFinish->setEnabled(last);
    (last ? m_btnFinish : m_btnNext)->setDefault(true);
    m_btnBack->setEnabled(true);
    Activate(target);
}

void KWWizardDlg::Back()
{
    if (m_nCurrent <= 0)
        return;
    const int request = Page(m_nCurrent)->BackPage();
    if (request == KWWizardPage::kStay)
        return;
    const int target = request == KWWizardPage::kInOrder ? m_nCurrent - 1 : request;
    if (target == m_nCurrent || target < 0 || target >= PageCount() || !Leave())
        return;
    m_btnBack->setEnabled(target > 0);
    m_btnFinish->hide();
    m_btnNext->show();
    m_btnNext->setEnabled(true);
    m_btnNext->setDefault(true);
    Activate(target);
}

void KWWizardDlg::Finish()
{
    if (m_nCurrent < 0 || !Page(m_nCurrent)->MayLeave())
        return;
    for (const Entry& entry : m_pages)
        if (entry.page->IsCreated() && !entry.page->OnFinish())
            return;
    done(QDialog::Accepted);
}

void KWWizardDlg::reject()
{
    for (const Entry& entry : m_pages)
        if (entry.page->IsCreated() && !entry.page->MayCancel())
            return;
    QDialog::reject();
}
