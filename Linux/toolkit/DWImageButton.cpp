#include "toolkit/DWImageButton.h"

#include <QPainter>
#include <QStyleOptionButton>

#include "toolkit/DWSkin.h"

DWImageButton::DWImageButton(const QString& imageBase, const QString& text, QWidget* parent)
    : DWImageButton(DWSkin::Image(imageBase + "_Normal.png"), DWSkin::Image(imageBase + "_Hover.png"),
                    DWSkin::Image(imageBase + "_Selected.png"), text, parent)
{}

DWImageButton::DWImageButton(const QPixmap& normal, const QPixmap& hover, const QPixmap& selected, const QString& text,
                             QWidget* parent)
    : QAbstractButton(parent),
      m_normal(normal),
      m_hover(hover.isNull() ? normal : hover),
      m_selected(selected.isNull() ? normal : selected)
{
    setText(text);
    setToolTip(text);
    setAccessibleName(text);
    if (HasImages()) {
        setCursor(Qt::PointingHandCursor);
        setFixedSize(m_normal.size());
    }
}

QSize DWImageButton::sizeHint() const
{
    if (HasImages())
        return m_normal.size();
    QStyleOptionButton option;
    option.initFrom(this);
    option.text = text();
    const QSize textSize = fontMetrics().size(Qt::TextShowMnemonic, text());
    return style()->sizeFromContents(QStyle::CT_PushButton, &option, textSize + QSize(16, 8), this);
}

void DWImageButton::enterEvent(QEnterEvent* event)
{
    m_bHover = true;
    update();
    QAbstractButton::enterEvent(event);
}

void DWImageButton::leaveEvent(QEvent* event)
{
    m_bHover = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void DWImageButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (HasImages()) {
        const QPixmap& image = (isDown() || isChecked()) ? m_selected : (m_bHover ? m_hover : m_normal);
        if (!isEnabled())
            painter.setOpacity(0.45);
        painter.drawPixmap(0, 0, image);
        return;
    }
    QStyleOptionButton option;
    option.initFrom(this);
    option.text = text();
    if (isDown())
        option.state |= QStyle::State_Sunken;
    if (m_bHover)
        option.state |= QStyle::State_MouseOver;
    style()->drawControl(QStyle::CE_PushButton, &option, &painter, this);
}
