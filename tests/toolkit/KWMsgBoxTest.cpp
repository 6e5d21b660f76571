#include "toolkit/KWMsgBox.h"

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include "BoxAtKeyboard.h"

namespace {

class KWMsgBoxTest : public ::testing::Test {
protected:
    void SetUp() override { KWMsgBox::ClearTestState(); }
    void TearDown() override { KWMsgBox::ClearTestState(); }
};

TEST_F(KWMsgBoxTest, QueuedAnswersAreReturnedAndTheBoxesRecorded)
{
    KWMsgBox::QueueAnswer(KWMsgBox::kIdNo);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    EXPECT_EQ(KWMsgBox::Show(nullptr, QString("sure?"), KWMsgBox::kCaution, KWMsgBox::kYesNo, KWMsgBox::kIdYes),
              KWMsgBox::kIdNo);
    EXPECT_EQ(KWMsgBox::Show(nullptr, QString("done"), KWMsgBox::kNote, KWMsgBox::kOk, KWMsgBox::kIdCancel),
              KWMsgBox::kIdOk);
    ASSERT_EQ(KWMsgBox::ShownBoxes().size(), 2u);
    EXPECT_EQ(KWMsgBox::ShownBoxes()[0].text, "sure?");
    EXPECT_EQ(KWMsgBox::ShownBoxes()[0].buttons, KWMsgBox::kYesNo);
    EXPECT_EQ(KWMsgBox::ShownBoxes()[1].focus, KWMsgBox::kIdOk) << "an OK box always focuses OK";
}

// Finds the open box and acts on it from the event loop.
void OnOpenBox(const std::function<void(QDialog&)>& action)
{
    QTimer::singleShot(20, [action] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QDialog*>(w); box && box->isVisible())
                return action(*box);
    });
}

TEST_F(KWMsgBoxTest, ShowsOnlyTheButtonsOfTheSetAndAnswersThePressedOne)
{
    QStringList seen;
    OnOpenBox([&](QDialog& box) {
        const auto buttons = box.findChildren<QPushButton*>();
        for (QPushButton* b : buttons)
            seen << b->text();
        buttons[1]->click();  // No
    });
    EXPECT_EQ(KWMsgBox::Show(nullptr, QString("q"), KWMsgBox::kCaution, KWMsgBox::kYesNoCancel, KWMsgBox::kIdYes),
              KWMsgBox::kIdNo);
    EXPECT_EQ(seen.size(), 3);
}

TEST_F(KWMsgBoxTest, EscapeAnswersCancelWhenTheSetHasIt)
{
    OnOpenBox([](QDialog& box) { box.reject(); });
    EXPECT_EQ(KWMsgBox::Show(nullptr, QString("q"), KWMsgBox::kNote, KWMsgBox::kOkCancel, KWMsgBox::kIdOk),
              KWMsgBox::kIdCancel);
    OnOpenBox([](QDialog& box) { box.reject(); });
    EXPECT_EQ(KWMsgBox::Show(nullptr, QString("q"), KWMsgBox::kNote, KWMsgBox::kYesNo, KWMsgBox::kIdYes),
              KWMsgBox::kIdNo);
}

// The box as a person meets it: the button named by the caller holds the
// focus once the box is shown, Return presses that button and Escape answers
// the set's Cancel or No. A regression: the focus was set before the buttons
// were in the box, so Return pressed the first button (Yes) of every box.
struct KeyboardCase {
    int buttons;
    int focus;
    int focused;   // the button that must hold the focus
    int onEscape;  // the answer to Escape
};

TEST_F(KWMsgBoxTest, TheNamedButtonHoldsTheFocusAndTakesReturn)
{
    const KeyboardCase cases[] = {
        {KWMsgBox::kYesNo, KWMsgBox::kIdNo, KWMsgBox::kIdNo, KWMsgBox::kIdNo},
        {KWMsgBox::kYesNo, KWMsgBox::kIdYes, KWMsgBox::kIdYes, KWMsgBox::kIdNo},
        {KWMsgBox::kYesNoCancel, KWMsgBox::kIdNo, KWMsgBox::kIdNo, KWMsgBox::kIdCancel},
        {KWMsgBox::kYesNoCancel, KWMsgBox::kIdCancel, KWMsgBox::kIdCancel, KWMsgBox::kIdCancel},
        {KWMsgBox::kOkCancel, KWMsgBox::kIdCancel, KWMsgBox::kIdCancel, KWMsgBox::kIdCancel},
        {KWMsgBox::kOkCancel, KWMsgBox::kIdOk, KWMsgBox::kIdOk, KWMsgBox::kIdCancel},
        {KWMsgBox::kOk, KWMsgBox::kIdNo, KWMsgBox::kIdOk, KWMsgBox::kIdOk},
        // A focus the set lacks falls to the first button.
        {KWMsgBox::kYesNo, KWMsgBox::kIdCancel, KWMsgBox::kIdYes, KWMsgBox::kIdNo},
    };
    for (const KeyboardCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "buttons " << c.buttons << ", focus " << c.focus);
        auto returned = halvex::test::PressInNextBox(Qt::Key_Return);
        EXPECT_EQ(KWMsgBox::Show(nullptr, QString("Delete it?"), KWMsgBox::kCaution, c.buttons, c.focus), c.focused);
        EXPECT_TRUE(returned->shown);
        EXPECT_EQ(returned->focusedAnswer, c.focused);
        EXPECT_EQ(returned->text, "Delete it?");
        EXPECT_TRUE(returned->closedByKey);

        auto escaped = halvex::test::PressInNextBox(Qt::Key_Escape);
        EXPECT_EQ(KWMsgBox::Show(nullptr, QString("q"), KWMsgBox::kCaution, c.buttons, c.focus), c.onEscape);
        EXPECT_EQ(escaped->focusedAnswer, c.focused);
        EXPECT_TRUE(escaped->closedByKey);
    }
}

TEST_F(KWMsgBoxTest, ReturnPressesTheNamedButtonOverAnOwnerWindow)
{
    // Over a shown window whose own default button must not take the key.
    QDialog owner;
    auto* ownerButton = new QPushButton("Delete", &owner);
    ownerButton->setDefault(true);
    owner.show();
    auto seen = halvex::test::PressInNextBox(Qt::Key_Return);
    EXPECT_EQ(KWMsgBox::Show(&owner, QString("q"), KWMsgBox::kCaution, KWMsgBox::kYesNo, KWMsgBox::kIdNo),
              KWMsgBox::kIdNo);
    EXPECT_EQ(seen->focusedAnswer, KWMsgBox::kIdNo);
}

}  // namespace
