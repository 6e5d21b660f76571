#include "app/sync/ElidedPathLabel.h"

#include <QPainter>

namespace halvex::app {

void ElidedPathLabel::SetPath(const QString& path)
{
    m_path = path;
    setToolTip(path);
    update();
}

QString ElidedPathLabel::ShownText() const
{
    return fontMetrics().elidedText(m_path, Qt::ElideMiddle, width());
}

void ElidedPathLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, ShownText());
}

}  // namespace halvex::app
