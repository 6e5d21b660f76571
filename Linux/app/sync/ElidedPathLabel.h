#pragma once

#include <QLabel>
#include <QString>

namespace halvex::app {

// The selected row's source path, shortened in its middle to the label's width.
class ElidedPathLabel : public QLabel {
public:
    using QLabel::QLabel;

    void SetPath(const QString& path);
    const QString& Path() const { return m_path; }
    QString ShownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_path;
};

}  // namespace halvex::app
