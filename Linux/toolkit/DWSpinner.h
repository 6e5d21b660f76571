#pragma once

#include <QWidget>

class QTimer;

// The wait animation: a ring of dots turning, drawn in the window's colours.
class DWSpinner : public QWidget {
    Q_OBJECT

public:
    explicit DWSpinner(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {48, 48}; }
    void start();
    void stop();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer* m_timer;
    int m_nStep = 0;
};
