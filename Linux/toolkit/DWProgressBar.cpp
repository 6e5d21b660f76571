#include "toolkit/DWProgressBar.h"

#include <QAccessibleWidget>
#include <QPainter>
#include <QStyleOptionProgressBar>

#include <cmath>

#include "toolkit/AppText.h"
#include "toolkit/DWSkin.h"

namespace {

// A screen reader hears the bar as a progress bar: its name, and as its
// description the percentage, unless the owner describes it better (the
// drive bar says the used and free space).
class AccessibleBar : public QAccessibleWidget {
public:
    explicit AccessibleBar(DWProgressBar* bar) : QAccessibleWidget(bar, QAccessible::ProgressBar) {}

    QString text(QAccessible::Text kind) const override
    {
        const auto* bar = static_cast<const DWProgressBar*>(widget());
        if (kind == QAccessible::Name && bar->accessibleName().isEmpty())
            return TextOr("access_progress");
        if (kind == QAccessible::Description && bar->accessibleDescription().isEmpty())
            return QString::number(qRound(bar->fraction() * 100)) + '%';
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* AccessibleBarFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("DWProgressBar") && object && object->isWidgetType())
        return new AccessibleBar(static_cast<DWProgressBar*>(object));
    return nullptr;
}

}  // namespace

DWProgressBar::DWProgressBar(QWidget* parent)
    : QWidget(parent), m_empty(DWSkin::Image("Progress_Empty.png")), m_fill(DWSkin::Image("Progress_Fill.png"))
{
    static const bool installed = (QAccessible::installFactory(AccessibleBarFactory), true);
    (void)installed;
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void DWProgressBar::setRange(std::int64_t maximum)
{
    m_nMaximum = maximum < 0 ? 0 : maximum;
    setPosition(m_nPosition);
    update();
}

void DWProgressBar::setPosition(std::int64_t position)
{
    if (position < 0)
        position = 0;
    if (position > m_nMaximum)
        position = m_nMaximum;
    if (position == m_nPosition)
        return;
    m_nPosition = position;
    update();
}

double DWProgressBar::fraction() const
{
    if (m_nMaximum <= 0)
        return 0.0;
    return static_cast<double>(m_nPosition) / static_cast<double>(m_nMaximum);
}

void DWProgressBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect area = rect();
    if (!m_empty.isNull() && !m_fill.isNull()) {
        painter.drawPixmap(area, m_empty);
        const int filled = static_cast<int>(std::lround(area.width() * fraction()));
        if (filled > 0) {
            painter.setClipRect(QRect(area.left(), area.top(), filled, area.height()));
            painter.drawPixmap(area, m_fill);
        }
        return;
    }
    QStyleOptionProgressBar option;
    option.initFrom(this);
    option.minimum = 0;
    option.maximum = 1000;
    option.progress = static_cast<int>(std::lround(fraction() * 1000));
    option.textVisible = false;
    style()->drawControl(QStyle::CE_ProgressBar, &option, &painter, this);
}
