#include "toolkit/DWProgressDlg.h"

#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include "toolkit/DWProgressBar.h"
#include "toolkit/DWSpinner.h"
#include "toolkit/AppText.h"

DWProgressDlg::DWProgressDlg(QWidget* owner, const QString& title)
    : DWWorkDlg(owner),
      m_spinner(new DWSpinner),
      m_status(new QLabel),
      m_count(new QLabel),
      m_bar(new DWProgressBar),
      m_percent(new QLabel(QStringLiteral("0%"))),
      m_cancel(new QPushButton(TextOr("cancel")))
{
    setWindowTitle(title);
    if (m_cancel->text().isEmpty())
        m_cancel->setText(QStringLiteral("Cancel"));
    for (QLabel* label : {m_status, m_count}) {
        label->setTextFormat(Qt::PlainText);
        label->setMinimumWidth(380);
        // Long paths must not widen the window: the worker sets them often.
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    m_percent->setMinimumWidth(44);
    m_percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    auto* barRow = new QHBoxLayout;
    barRow->addWidget(m_bar, 1);
    barRow->addWidget(m_percent);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(m_cancel);
    m_spinner->setFixedSize(36, 36);
    auto* lines = new QVBoxLayout;
    lines->addWidget(m_status);
    lines->addWidget(m_count);
    auto* top = new QHBoxLayout;
    top->setSpacing(12);
    top->addWidget(m_spinner, 0, Qt::AlignVCenter);
    top->addLayout(lines, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 14);
    layout->addLayout(top);
    layout->addLayout(barRow);
    layout->addLayout(buttonRow);
    setMinimumWidth(440);

    connect(m_cancel, &QPushButton::clicked, this, &DWProgressDlg::reject);
    m_cancel->setAutoDefault(false);
    connect(this, &DWWorkDlg::messageChanged, m_status, &QLabel::setText);
    connect(this, &DWWorkDlg::countChanged, m_count, &QLabel::setText);
    connect(this, &DWWorkDlg::rangeChanged, this, [this](qint64 maximum) {
        m_bar->setRange(maximum);
        ShowPosition();
    });
    connect(this, &DWWorkDlg::positionChanged, this, [this](qint64 position) {
        m_bar->setPosition(position);
        ShowPosition();
    });
}

void DWProgressDlg::showEvent(QShowEvent* event)
{
    m_spinner->start();
    DWWorkDlg::showEvent(event);
}

void DWProgressDlg::ShowPosition()
{
    const QString text = PercentText(m_bar->position(), m_bar->maximum());
    if (m_percent->text() != text)
        m_percent->setText(text);
}

QString DWProgressDlg::StatusText() const
{
    return m_status->text();
}

QString DWProgressDlg::CountText() const
{
    return m_count->text();
}

QString DWProgressDlg::PercentageText() const
{
    return m_percent->text();
}

void DWProgressDlg::OnCancel()
{
    if (IsShutDown() || IsDone() || m_bAsking)
        return;  // the window closes by itself once the work returns
    m_bAsking = true;
    // Hold the worker still at its next look at the pause gate while the
    // owner asks; the engine and every report wait there.
    Pause(true);
    setEnabled(false);
    const bool confirmed = !m_fnCancelQuery || m_fnCancelQuery(*this);
    if (confirmed && !IsShutDown()) {
        SetCancelled();
        QThread::msleep(100);
    }
    setEnabled(!IsShutDown());
    Pause(false);
    m_bAsking = false;
    raise();
    activateWindow();
}
