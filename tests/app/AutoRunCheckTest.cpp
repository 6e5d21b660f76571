#include "app/autorun/AutoRunControl.h"

#include <QCheckBox>
#include <QPushButton>

#include "app/autorun/KWAutoRunDlg.h"
#include "WindowFixture.h"
#include "plist/DXPlistPrefs.h"
#include "prefs/KXAppPrefs.h"
#include "strings/KXStrings.h"
#include "system/TrustedDrives.h"

using namespace halvex::app;

namespace {

class AutoRunCheckTest : public WindowFixture {
protected:
    AutoRunQuestion Answer(bool install, bool askAgain)
    {
        return [this, install, askAgain](QWidget*) {
            ++m_nAsked;
            return AutoRunAnswer{install, askAgain};
        };
    }
    int m_nAsked = 0;
};

TEST_F(AutoRunCheckTest, AdministratorWithoutAgentIsAskedAndYesInstalls)
{
    RunStartupAutoRunCheck(nullptr, FakeAutoRun(true), Answer(true, true));
    EXPECT_EQ(m_nAsked, 1);
    EXPECT_EQ(m_nInstalls, 1);
    EXPECT_EQ(m_trusted.size(), 1u) << "enabling auto-run from a drive trusts it";
    EXPECT_FALSE(std::filesystem::exists(PrefsFile())) << "asking again needs no write";
}

TEST_F(AutoRunCheckTest, DoNotAskAgainIsStoredAndHonoured)
{
    {
        DXPlistPrefs prefs(PrefsFile());
        prefs.SetValue("eula", true);
        ASSERT_TRUE(prefs.Update());
    }
    RunStartupAutoRunCheck(nullptr, FakeAutoRun(true), Answer(false, false));
    EXPECT_EQ(m_nInstalls, 0);
    EXPECT_TRUE(m_trusted.empty());
    EXPECT_FALSE(KXAppPrefs::Bool("AskAutoRun"));
    DXPlistPrefs file(PrefsFile());
    ASSERT_TRUE(file.Load());
    bool value = true;
    ASSERT_TRUE(file.GetValue("AskAutoRun", value, true));
    EXPECT_FALSE(value);
    ASSERT_TRUE(file.GetValue("eula", value, false));
    EXPECT_TRUE(value);

    RunStartupAutoRunCheck(nullptr, FakeAutoRun(true), Answer(true, true));
    EXPECT_EQ(m_nAsked, 1) << "not asked a second time";
}

TEST_F(AutoRunCheckTest, DoNotAskAgainThatCannotBeWrittenIsReported)
{
    KXAppPrefs::InitWithPath(m_root / "gone" / "com.halvex.dravane.plist");
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    RunStartupAutoRunCheck(nullptr, FakeAutoRun(true), Answer(false, false));
    const auto& boxes = KWMsgBox::ShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.startsWith(QString::fromStdString(KXStrings::GetString("err_prefs_save"))));
}

// A drive that cannot join the trusted list still gets a working agent, which
// asks about it at each insertion: the user is told so as a note; a list that
// cannot be written stays an error.
TEST_F(AutoRunCheckTest, ADriveThatCannotBeTrustedIsANoteAndAListNotSavedAnError)
{
    struct Case {
        const char* failure;
        int icon;
        const char* text;
    };
    for (const Case& c :
         {Case{halvex::TrustedDrives::kNotDistinctKey, KWMsgBox::kNote, "autorun_asks_each_time"},
          Case{halvex::TrustedDrives::kWriteErrorKey, KWMsgBox::kStop, halvex::TrustedDrives::kWriteErrorKey}}) {
        SCOPED_TRACE(c.failure);
        KWMsgBox::ClearTestState();
        AutoRunControl control = FakeAutoRun(true);
        control.trustThisDrive = [&] { return halvex::Status::Fail(c.failure); };
        KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
        EnableAutoRunFromThisDrive(nullptr, control);
        EXPECT_TRUE(m_bInstalled);
        const auto& boxes = KWMsgBox::ShownBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].icon, c.icon);
        EXPECT_TRUE(boxes[0].text.startsWith(QString::fromStdString(KXStrings::GetString(c.text))));
    }
}

TEST_F(AutoRunCheckTest, NothingForAUserWithoutRightsAndAStoppedAgentIsStarted)
{
    RunStartupAutoRunCheck(nullptr, FakeAutoRun(false), Answer(true, true));
    EXPECT_EQ(m_nAsked, 0);
    EXPECT_EQ(m_nInstalls, 0);

    m_bInstalled = true;
    AutoRunControl control = FakeAutoRun(true);
    int started = 0;
    control.isRunning = [] { return false; };
    control.start = [&] { return ++started, halvex::Status::Ok(); };
    RunStartupAutoRunCheck(nullptr, control, Answer(true, true));
    EXPECT_EQ(started, 1);
    EXPECT_EQ(m_nAsked, 0);

    control.isOutdated = [] { return true; };
    RunStartupAutoRunCheck(nullptr, control, Answer(true, true));
    EXPECT_EQ(m_nInstalls, 1) << "an outdated agent is replaced";
}

TEST_F(AutoRunCheckTest, AskDialogAnswers)
{
    KWAutoRunDlg ask(nullptr);
    EXPECT_EQ(ask.windowTitle().toStdString(), KXStrings::GetString("setup_autorun"));
    EXPECT_TRUE(ask.AskAgain());
    EXPECT_TRUE(ask.YesButton()->isDefault());
    SaveScreenshot(ask, "autorun_question.png");
    ask.DoNotAskBox()->setChecked(true);
    ask.NoButton()->click();
    EXPECT_EQ(ask.result(), QDialog::Rejected);
    EXPECT_FALSE(ask.AskAgain());
}

}  // namespace
