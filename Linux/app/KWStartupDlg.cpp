#include "KWStartupDlg.h"

#include <QBitmap>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "AppText.h"
#include "DWSkin.h"
#include "strings/KXStrings.h"

namespace {

constexpr int kBandHeight = 118;

}  // namespace

KWStartupDlg::KWStartupDlg(QWidget* owner, bool atFirstRun)
    : QDialog(owner), m_background(DWSkin::ContentImage("Setup_Background.png")),
      m_btnContinue(new QPushButton(QStringLiteral("Continue"))),
      m_btnExit(new QPushButton(atFirstRun ? halvex::app::TextOr("exit", "Exit") : halvex::app::TextOr("cancel", "Cancel")))
{
    setWindowTitle(halvex::app::TextOr("setup_title", "Halvex Dravane Setup"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);
    setFixedSize(540, 350);
    if (!m_background.isNull())
        m_background.setMask(m_background.createMaskFromColor(QColor(255, 0, 255), Qt::MaskInColor));

    auto* welcome = new QLabel(QStringLiteral(
        "<p>Thank you for choosing Halvex Dravane, the companion tools that travel with your USB flash drive.</p>"
        "<p>Keep a folder of this computer and your drive in step with <b>File Sync</b>, protect your documents, "
        "music and pictures with <b>Backup</b>, and let the suite start by itself whenever the drive is plugged in.</p>"
        "<p>Click <b>Continue</b> to accept the license agreement and choose your settings. It only takes a "
        "minute.</p>"));
    welcome->setWordWrap(true);
    welcome->setTextFormat(Qt::RichText);

    for (QPushButton* button : {m_btnContinue, m_btnExit})
        button->setMinimumWidth(100);
    m_btnContinue->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_btnContinue);
    buttons->addWidget(m_btnExit);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, kBandHeight + 18, 22, 16);
    layout->addWidget(welcome, 1);
    layout->addLayout(buttons);

    connect(m_btnContinue, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_btnExit, &QPushButton::clicked, this, &QDialog::reject);
    m_btnContinue->setFocus();
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
    const QString title = QStringLiteral("Welcome to %1").arg(halvex::app::TextOr("app_name", "Halvex Dravane"));
    const QRect titleRect(0, 0, width(), kBandHeight);
    painter.setPen(QColor(10, 24, 44));
    painter.drawText(titleRect.translated(1, 1), Qt::AlignCenter, title);
    painter.setPen(Qt::white);
    painter.drawText(titleRect, Qt::AlignCenter, title);
}
