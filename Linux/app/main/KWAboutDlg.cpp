#include "app/main/KWAboutDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "toolkit/DWSkin.h"
#include "HalvexVersion.h"
#include "strings/KXStrings.h"
#include "toolkit/AppText.h"

KWAboutDlg::KWAboutDlg(QWidget* owner) : QDialog(owner)
{
    setWindowTitle(TextOr("app_name"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* picture = new QLabel;
    picture->setPixmap(DWSkin::ContentImage("App.png"));
    picture->setAlignment(Qt::AlignTop);

    auto* name = new QLabel(TextOr("app_name"));
    QFont font = name->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.4);
    name->setFont(font);
    auto* version = new QLabel(VersionText());
    auto* copyright = new QLabel(TextOr("copyright"));
    copyright->setWordWrap(true);

    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(version);
    texts->addSpacing(8);
    texts->addWidget(copyright);
    texts->addStretch(1);

    auto* top = new QHBoxLayout;
    top->setSpacing(18);
    top->addWidget(picture);
    top->addLayout(texts, 1);

    QString okText = TextOr("ok");
    auto* close = new QPushButton(okText.isEmpty() ? QStringLiteral("OK") : okText);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 14);
    layout->addLayout(top);
    layout->addLayout(row);
    setMinimumWidth(380);
}

QString KWAboutDlg::VersionText()
{
    return TextFormat("version", halvex::kVersionMajor, halvex::kVersionMinor, halvex::kVersionPatch,
                      halvex::kVersionBuild);
}
