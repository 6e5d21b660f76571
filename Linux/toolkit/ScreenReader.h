#pragma once

#include <QLabel>
#include <QRegularExpression>
#include <QWidget>

// A shown text as a screen reader says it: without the mnemonic marks, the
// "(&X)" of the languages that add the letter, and a closing colon.
inline QString SpokenText(QString text)
{
    text.remove(QRegularExpression(QStringLiteral("\\(&[^&)]\\)")));
    text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    text = text.trimmed();
    while (text.endsWith(':') || text.endsWith(QChar(0xFF1A)))
        text.chop(1);
    return text.trimmed();
}

// The label shown above or beside a control names it for a screen reader and
// takes its mnemonic there; lists and trees are not named by a buddy alone.
inline void NameByLabel(QLabel* label, QWidget* control)
{
    label->setBuddy(control);
    control->setAccessibleName(SpokenText(label->text()));
}
