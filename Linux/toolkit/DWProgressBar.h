#pragma once

#include <QPixmap>
#include <QWidget>

#include <cstdint>

// A progress bar with a 64-bit range (byte counts of large copies do not fit
// the 16 or 32 bits of the standard bars). Drawn from "Progress_Empty.png"
// and "Progress_Fill.png" in the drawn look, by the style otherwise.
class DWProgressBar : public QWidget {
    Q_OBJECT

public:
    explicit DWProgressBar(QWidget* parent = nullptr);

    void setRange(std::int64_t maximum);      // the minimum is always 0
    void setPosition(std::int64_t position);  // clamped into the range
    std::int64_t maximum() const { return m_nMaximum; }
    std::int64_t position() const { return m_nPosition; }
    // The filled share, 0 to 1.
    double fraction() const;

    QSize sizeHint() const override { return {320, 18}; }
    QSize minimumSizeHint() const override { return {60, 12}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::int64_t m_nMaximum = 100;
    std::int64_t m_nPosition = 0;
    QPixmap m_empty;
    QPixmap m_fill;
};
