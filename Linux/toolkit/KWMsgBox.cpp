#include "toolkit/KWMsgBox.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "toolkit/DWSkin.h"
#include "strings/KXStrings.h"
#include "toolkit/AppText.h"

std::deque<int> KWMsgBox::m_sAnswers;
std::vector<KWMsgBox::Shown> KWMsgBox::m_sShown;

namespace {

QPixmap IconPixmap(int icon)
{
    const char* image = icon == KWMsgBox::kStop      ? "AlertStop.png"
                        : icon == KWMsgBox::kCaution ? "AlertCaution.png"
                                                     : "AlertNote.png";
    QPixmap pixmap = DWSkin::Image(image);
    if (!pixmap.isNull())
        return pixmap.scaled(48, 48, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    const QStyle::StandardPixmap standard = icon == KWMsgBox::kStop      ? QStyle::SP_MessageBoxCritical
                                            : icon == KWMsgBox::kCaution ? QStyle::SP_MessageBoxWarning
                                                                         : QStyle::SP_MessageBoxInformation;
    return QApplication::style()->standardIcon(standard).pixmap(48, 48);
}

QString ButtonText(int id)
{
    // A table without the button names must still give usable buttons.
    switch (id) {
    case KWMsgBox::kIdOk: return TextOr("ok", "OK");
    case KWMsgBox::kIdCancel: return TextOr("cancel", "Cancel");
    case KWMsgBox::kIdYes: return TextOr("yes", "Yes");
    default: return TextOr("no", "No");
    }
}

std::vector<int> ButtonIds(int buttons)
{
    switch (buttons) {
    case KWMsgBox::kOkCancel: return {KWMsgBox::kIdOk, KWMsgBox::kIdCancel};
    case KWMsgBox::kYesNo: return {KWMsgBox::kIdYes, KWMsgBox::kIdNo};
    case KWMsgBox::kYesNoCancel: return {KWMsgBox::kIdYes, KWMsgBox::kIdNo, KWMsgBox::kIdCancel};
    default: return {KWMsgBox::kIdOk};
    }
}

int EscapeAnswer(const std::vector<int>& ids)
{
    for (int preferred : {KWMsgBox::kIdCancel, KWMsgBox::kIdNo})
        for (int id : ids)
            if (id == preferred)
                return id;
    return KWMsgBox::kIdOk;
}

}  // namespace

int KWMsgBox::Show(QWidget* owner, const QString& text, int icon, int buttons, int focus)
{
    const std::vector<int> ids = ButtonIds(buttons);
    if (buttons == kOk || buttons < kOk || buttons > kYesNoCancel)
        focus = kIdOk;

    if (!m_sAnswers.empty()) {
        m_sShown.push_back({text, icon, buttons, focus});
        const int answer = m_sAnswers.front();
        m_sAnswers.pop_front();
        return answer;
    }

    if (!owner)
        owner = QApplication::activeWindow();
    QDialog box(owner);
    box.setObjectName("KWMsgBox");
    box.setWindowTitle(TextOr("app_name"));
    box.setWindowFlags(box.windowFlags() | Qt::WindowStaysOnTopHint);
    box.setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* iconLabel = new QLabel;
    iconLabel->setPixmap(IconPixmap(icon));
    iconLabel->setAlignment(Qt::AlignTop);
    auto* textLabel = new QLabel(text);
    textLabel->setObjectName("KWMsgBoxText");
    textLabel->setWordWrap(true);
    textLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    textLabel->setMinimumWidth(280);
    textLabel->setMaximumWidth(460);

    auto* top = new QHBoxLayout;
    top->setSpacing(16);
    top->addWidget(iconLabel);
    top->addWidget(textLabel, 1);

    int answer = EscapeAnswer(ids);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    QPushButton* focused = nullptr;
    for (int id : ids) {
        auto* button = new QPushButton(ButtonText(id), &box);
        button->setMinimumWidth(84);
        button->setAutoDefault(true);
        button->setProperty("halvexAnswer", id);
        QObject::connect(button, &QPushButton::clicked, &box, [&box, &answer, id] {
            answer = id;
            box.done(QDialog::Accepted);
        });
        row->addWidget(button);
        if (id == focus || !focused)
            focused = button;
    }

    auto* layout = new QVBoxLayout(&box);
    layout->setContentsMargins(18, 18, 18, 14);
    layout->setSpacing(14);
    layout->addLayout(top);
    layout->addLayout(row);

    // Only a button that already sits in the box can become its default and
    // its focus widget: Return then presses the named button, never the first
    // one, which for a deletion would be Yes.
    if (focused) {
        focused->setDefault(true);
        focused->setFocus(Qt::OtherFocusReason);
    }

    QApplication::beep();
    box.exec();
    return answer;
}
