#include "app/setup/KWStartupDlg.h"

#include <QBitmap>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "toolkit/AppText.h"
#include "toolkit/DWSkin.h"
#include "strings/KXStrings.h"

namespace {

constexpr int kBandHeight = 118;

}  // namespace

KWStartupDlg::KWStartupDlg(QWidget* owner, bool atFirstRun)
    : QDialog(owner),
      m_background(DWSkin::ContentImage("Setup_Background.png")),
      m_btnContinue(new QPushButton(TextOr("welcome_continue"))),
      m_btnExit(new QPushButton(atFirstRun ? TextOr("exit", "Exit") : TextOr("cancel", "Cancel"))),
      m_btnSync(new QPushButton(TextOr("sync_window_title"))),
      m_btnBackup(new QPushButton(TextOr("backup_backup")))
{
    setWindowTitle(TextOr("setup_title", "Halvex Dravane Setup"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);
    setFixedSize(540, 350);
    if (!m_background.isNull())
        m_background.setMask(m_background.createMaskFromColor(QColor(255, 0, 255), Qt::MaskInColor));

    auto* welcome = new QLabel(TextOr(atFirstRun ? "welcome_text" : "welcome_text_again"));
    welcome->setWordWrap(true);
    welcome->setTextFormat(Qt::PlainText);
    welcome->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* button : {m_btnContinue, m_btnSync, m_btnBackup, m_btnExit}) {
        button->setMinimumWidth(100);
        buttons->addWidget(button);
    }
    // The setup runs once; afterwards the window leads to the tools.
    for (QPushButton* button : {m_btnContinue, m_btnSync, m_btnBackup})
        button->setHidden((button == m_btnContinue) != atFirstRun);
    QPushButton* first = atFirstRun ? m_btnContinue : m_btnSync;
    first->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, kBandHeight + 18, 22, 16);
    layout->addWidget(welcome, 1);
    layout->addLayout(buttons);

    connect(m_btnContinue, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_btnExit, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_btnSync, &QPushButton::clicked, this, [this] {
        m_choice = halvex::app::StartupChoice::Sync;
        accept();
    });
    connect(m_btnBackup, &QPushButton::clicked, this, [this] {
        m_choice = halvex::app::StartupChoice::Backup;
        accept();
    });
    first->setFocus();
}

halvex::app::StartupChoice KWStartupDlg::Choice() const
{
    return result() == QDialog::Accepted ? m_choice : halvex::app::StartupChoice::Cancelled;
}

void KWStartupDlg::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect band(0, 0, width(), kBandHeight);
    QLinearGradient gradient(band.topLeft(), band.topRight());
    gradient.setColorAt(0, QColor(28, 84, 150));
    gradient.setColorAt(1, QColor(16, 52, 98));
    painter.fillRect(band, gradient);
    if (!m_background.isNull()) {
        // The picture's lower part, where its drawing sits, at the right.
        const QRect source(0, m_background.height() - kBandHeight, m_background.width(), kBandHeight);
        painter.setOpacity(0.5);
        painter.drawPixmap(QRect(width() - source.width(), 0, source.width(), kBandHeight), m_background, source);
        painter.setOpacity(1.0);
    }
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(15);
    font.setWeight(QFont::Black);
    painter.setFont(font);
    const QString title = TextFormat("welcome_title", KXStrings::GetString("app_name"));
    const QRect titleRect(0, 0, width(), kBandHeight);
    painter.setPen(QColor(10, 24, 44));
    painter.drawText(titleRect.translated(1, 1), Qt::AlignCenter, title);
    painter.setPen(Qt::white);
    painter.drawText(titleRect, Qt::AlignCenter, title);
}
