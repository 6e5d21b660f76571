#include "toolkit/DWSpinner.h"

#include <QPainter>
#include <QTimer>

namespace {
constexpr int kDots = 12;
}

DWSpinner::DWSpinner(QWidget* parent) : QWidget(parent), m_timer(new QTimer(this))
{
    m_timer->setInterval(80);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_nStep = (m_nStep + 1) % kDots;
        update();
    });
    setFixedSize(sizeHint());
}

void DWSpinner::start()
{
    m_timer->start();
}

void DWSpinner::stop()
{
    m_timer->stop();
}

void DWSpinner::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2.0, height() / 2.0);
    const QColor base = palette().color(QPalette::Highlight);
    const double radius = std::min(width(), height()) / 2.0 - 5;
    for (int i = 0; i < kDots; ++i) {
        QColor colour = base;
        const int age = (m_nStep - i + kDots) % kDots;
        colour.setAlphaF(1.0 - age / double(kDots) * 0.85);
        painter.save();
        painter.rotate(i * 360.0 / kDots);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawEllipse(QPointF(0, -radius), 3.6, 3.6);
        painter.restore();
    }
}
