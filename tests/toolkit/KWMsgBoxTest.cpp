#include "toolkit/KWMsgBox.h"

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

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
void OnOpenBox(std::function<void(QDialog&)> action)
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

}  // namespace
