#pragma once

#include <QAbstractButton>
#include <QPixmap>

// A button drawn from images of its three states, "<base>_Normal.png",
// "<base>_Hover.png" and "<base>_Selected.png" (pressed). Without the images
// (system look, or a file missing) it is drawn as a standard push button
// with its text, so every command stays reachable.
class DWImageButton : public QAbstractButton {
    Q_OBJECT

public:
    DWImageButton(const QString& imageBase, const QString& text, QWidget* parent = nullptr);
    // Explicit images, for buttons whose files do not follow the pattern.
    DWImageButton(const QPixmap& normal, const QPixmap& hover, const QPixmap& selected, const QString& text,
                  QWidget* parent = nullptr);

    bool HasImages() const { return !m_normal.isNull(); }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QPixmap m_normal;
    QPixmap m_hover;
    QPixmap m_selected;
    bool m_bHover = false;
};
