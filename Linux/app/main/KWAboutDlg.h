#pragma once

#include <QDialog>

// The about box: the picture, the suite's four-number version and the copyright.
class KWAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit KWAboutDlg(QWidget* owner = nullptr);

    static QString VersionText();
};
