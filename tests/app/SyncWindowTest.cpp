#include "app/sync/KWSyncDlg.h"
#include "util/FreedesktopTrash.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <set>
#include <thread>

#include "AppFixture.h"
#include "BoxAtKeyboard.h"
#include "WaitUntil.h"
#include "toolkit/DWImageButton.h"
#include "toolkit/DWWorkDlg.h"
#include "app/main/KWMainApp.h"
#include "app/sync/KWSyncFolder.h"
#include "app/sync/SyncRowModel.h"
#include "strings/KXStrings.h"
#include "sync/SyncFolderPair.h"
#include "system/ConfirmedFolders.h"
#include "system/DriveIdentity.h"
#include "util/ComputerIdentity.h"
#include "util/IgnoreResult.h"
#include "util/ScrambleIdentity.h"

namespace fs = std::filesystem;
using namespace halvex::app;
using halvex::EncodeTrashPath;
using halvex::test::ReadFile;
using halvex::test::WriteFile;

namespace {

std::set<std::string> Names(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

int RowOf(const SyncRowModel& model, const std::string& name)
{
    for (int i = 0; i < model.rowCount(); ++i)
        if (model.Row(i).name == name)
            return i;
    return -1;
}

void Uncheck(SyncRowModel& model, int row)
{
    // As the list's check box does.
    ASSERT_TRUE(model.setData(model.index(row, 0), Qt::Unchecked, Qt::CheckStateRole));
}

class SyncWindowTest : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        AcceptLicence();
        ASSERT_EQ(m_app.StartUp(Arguments()), KWMainApp::StartResult::Continue);
        m_computer = m_root / "Computer Files";
        m_driveFolder = m_drive / halvex::SyncUsbFolderName();
        fs::create_directories(m_computer);
        fs::create_directories(m_driveFolder);
        ASSERT_TRUE(halvex::WriteComputerFolder(halvex::SyncIndexPath(m_app.Paths().DataPath()),
                                                halvex::ScrambleIdentity(halvex::ComputerIdentity()), m_computer));
        // Chosen on this computer, as the chooser records it.
        ASSERT_TRUE(halvex::ConfirmedFolders().Record(halvex::ConfirmedFolders::Use::Sync,
                                                      halvex::DriveIdentity::Of(m_app.Device()), "", m_computer));
    }
    void TearDown() override
    {
        m_app.CleanUp();
        AppFixture::TearDown();
    }

    std::unique_ptr<KWSyncDlg> OpenWindow(SyncMode mode = SyncMode::Normal)
    {
        auto window = std::make_unique<KWSyncDlg>(nullptr, m_app, mode);
        window->SetPacing({});
        EXPECT_TRUE(window->Prepare());
        return window;
    }
    static void SetDetails(KWSyncDlg& window, bool shown)
    {
        window.ShowDetails(shown);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window.Animating(); }));
        ASSERT_EQ(window.DetailsShown(), shown);
    }
    static std::string LastBox()
    {
        const auto& boxes = KWMsgBox::ShownBoxes();
        return boxes.empty() ? std::string() : boxes.back().text.toStdString();
    }

    KWMainApp m_app;
    fs::path m_computer;
    fs::path m_driveFolder;
};

TEST_F(SyncWindowTest, NormalSyncCopiesOnlyTheCheckedRowsAndKeepsTheUncheckedOne)
{
    WriteFile(m_computer / "report.txt", "report");
    WriteFile(m_computer / "draft.txt", "draft");
    WriteFile(m_driveFolder / "photo.jpg", "photo");
    auto window = OpenWindow();
    window->show();
    EXPECT_EQ(window->Pair().computer, m_computer);
    EXPECT_TRUE(window->ArrowToComputer()->isHidden()) << "arrows belong to the details";
    SaveScreenshot(*window, "sync_window_small.png");

    SetDetails(*window, true);
    SyncRowModel& model = *window->Model();
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_TRUE(window->SyncButton()->isEnabled());
    EXPECT_FALSE(window->RefreshButton()->isHidden());
    EXPECT_EQ(window->DetailsButton()->text().toStdString(), KXStrings::GetString("hide_details"));
    EXPECT_FALSE(window->ArrowToComputer()->isHidden());
    EXPECT_FALSE(window->ArrowToDrive()->isHidden());
    EXPECT_TRUE(
        window->ComputerButton()->toolTip().startsWith(QString::fromStdString(KXStrings::Format("sync_tip_local", 2))));
    // The first row is selected: its source side and path are shown.
    EXPECT_EQ(window->PathText().toStdString(), model.Row(0).path.string());
    EXPECT_TRUE(window->SourceImageShown(model.Row(0).sourceUsb));
    EXPECT_FALSE(window->SourceImageShown(!model.Row(0).sourceUsb));
    EXPECT_NE(model.data(model.index(RowOf(model, "photo.jpg"), 0), Qt::ForegroundRole),
              model.data(model.index(RowOf(model, "report.txt"), 0), Qt::ForegroundRole));
    SaveScreenshot(*window, "sync_window_details.png");

    Uncheck(model, RowOf(model, "draft.txt"));
    EXPECT_TRUE(
        window->ComputerButton()->toolTip().startsWith(QString::fromStdString(KXStrings::Format("sync_tip_local", 1))));

    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    window->SyncButton()->click();
    EXPECT_EQ(LastBox(), KXStrings::Format("sync_success", 2));
    EXPECT_EQ(Names(m_driveFolder), (std::set<std::string>{"photo.jpg", "report.txt"}));
    EXPECT_EQ(Names(m_computer), (std::set<std::string>{"draft.txt", "photo.jpg", "report.txt"}));
    ASSERT_EQ(model.rowCount(), 1) << "only the unchecked row stays";
    EXPECT_EQ(model.Row(0).name, "draft.txt");
    EXPECT_FALSE(model.Row(0).check);
    EXPECT_TRUE(window->ArrowToComputer()->isHidden());
    EXPECT_TRUE(window->ArrowToDrive()->isHidden()) << "no checked row is left";

    // Nothing checked: no progress window, only "sync_none".
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    window->SyncButton()->click();
    EXPECT_EQ(LastBox(), KXStrings::GetString("sync_none"));
}

// A computer link where the drive has a file: the row says it is not
// synchronized, the run counts it as a failure, nothing goes through the link.
TEST_F(SyncWindowTest, ARowThatIsNotCopiedSaysSoAndFailsTheRun)
{
    const fs::path elsewhere = m_root / "Elsewhere";
    WriteFile(elsewhere / "mine.txt", "mine");
    fs::create_symlink(elsewhere / "mine.txt", m_computer / "note.txt");
    WriteFile(m_driveFolder / "note.txt", "drive");
    WriteFile(m_driveFolder / "photo.jpg", "photo");
    auto window = OpenWindow();
    window->show();
    SetDetails(*window, true);
    SyncRowModel& model = *window->Model();
    ASSERT_EQ(model.rowCount(), 2);
    const int problem = RowOf(model, "note.txt");
    EXPECT_EQ(model.data(model.index(problem, 3), Qt::DisplayRole).toString().toStdString(),
              KXStrings::GetString("sync_dir_problem"));
    EXPECT_TRUE(window->ArrowToComputer()->isVisible());
    EXPECT_TRUE(window->ArrowToDrive()->isHidden()) << "the problem row is no copy to the drive";
    SaveScreenshot(*window, "sync_window_problem.png");

    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    window->SyncButton()->click();
    EXPECT_EQ(LastBox(), KXStrings::Format("sync_success", 1) + "\n\n" + KXStrings::Format("sync_fail", 1));
    EXPECT_EQ(fs::file_size(elsewhere / "mine.txt"), 4u) << "the file behind the link is untouched";
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.Row(0).name, "note.txt");
}

TEST_F(SyncWindowTest, SyncWithTheDetailsHiddenScansFirstAndCopiesEverything)
{
    WriteFile(m_computer / "a.txt", "a");
    WriteFile(m_driveFolder / "b.txt", "b");
    auto window = OpenWindow();
    window->show();
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    window->SyncButton()->click();
    EXPECT_EQ(LastBox(), KXStrings::Format("sync_success", 2));
    EXPECT_EQ(Names(m_driveFolder), Names(m_computer));
    EXPECT_EQ(window->Model()->rowCount(), 0);
}

TEST_F(SyncWindowTest, InstantSyncWithNothingToCopyClosesWithoutAMessage)
{
    WriteFile(m_computer / "same.txt", "same");
    fs::copy_file(m_computer / "same.txt", m_driveFolder / "same.txt");
    fs::last_write_time(m_driveFolder / "same.txt", fs::last_write_time(m_computer / "same.txt"));
    auto window = OpenWindow(SyncMode::Instant);
    const auto started = std::chrono::steady_clock::now();
    window->exec();  // the start timer scans and closes the window by itself
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_TRUE(KWMsgBox::ShownBoxes().empty()) << LastBox();
    EXPECT_EQ(window->result(), QDialog::Accepted);
}

TEST_F(SyncWindowTest, InstantSyncCopiesAndTellsNothingWhenEveryFileSucceeded)
{
    WriteFile(m_computer / "a.txt", "a");
    WriteFile(m_driveFolder / "sub-less.txt", "b");
    auto window = OpenWindow(SyncMode::Instant);
    window->exec();
    EXPECT_TRUE(KWMsgBox::ShownBoxes().empty()) << LastBox();
    EXPECT_EQ(Names(m_driveFolder), Names(m_computer));
}

TEST_F(SyncWindowTest, HidingAndShowingTheDetailsWithinTheHoldOffKeepsTheCheckMarks)
{
    WriteFile(m_computer / "one.txt", "1");
    WriteFile(m_computer / "two.txt", "2");
    auto window = OpenWindow();
    window->show();
    SetDetails(*window, true);
    SyncRowModel& model = *window->Model();
    ASSERT_EQ(model.rowCount(), 2);
    Uncheck(model, RowOf(model, "two.txt"));

    SetDetails(*window, false);
    EXPECT_TRUE(window->HoldOffRunning());
    EXPECT_TRUE(window->ArrowToDrive()->isHidden());
    EXPECT_TRUE(window->RefreshButton()->isHidden());
    EXPECT_EQ(window->DetailsButton()->text().toStdString(), KXStrings::GetString("show_details"));
    WriteFile(m_computer / "three.txt", "3");  // not seen: no rescan yet

    SetDetails(*window, true);
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_FALSE(model.Row(RowOf(model, "two.txt")).check);
    EXPECT_TRUE(model.Row(RowOf(model, "one.txt")).check);

    // Once the hold-off is over, showing the details rescans: every row checked.
    SetDetails(*window, false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->HoldOffRunning(); }, 7000));
    SetDetails(*window, true);
    ASSERT_EQ(model.rowCount(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(model.Row(i).check) << model.Row(i).name;
}

TEST_F(SyncWindowTest, ACancelledRunKeepsTheUnfinishedRows)
{
    for (int i = 0; i < 6; ++i)
        WriteFile(m_computer / ("file" + std::to_string(i) + ".txt"), std::string(1000, char('a' + i)));
    auto window = OpenWindow();
    window->show();
    SetDetails(*window, true);
    ASSERT_EQ(window->Model()->rowCount(), 6);

    // At the third file the user presses Cancel and confirms; the worker is
    // held there until the cancel is set, so the run stops at a known place.
    window->SetBeforeEachFile([](DWWorkDlg& progress, std::uint32_t processed) {
        if (processed != 2)
            return;
        QMetaObject::invokeMethod(
            &progress, [&progress] { progress.reject(); }, Qt::QueuedConnection);
        halvex::IgnoreResult(
            halvex::test::WaitUntil([&progress] { return progress.IsCancelled(); }, std::chrono::seconds(10)),
            "a cancel that never came shows in the boxes and the rows checked below");
    });
    KWMsgBox::QueueAnswer(KWMsgBox::kIdYes);  // sync_progress_cancel
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);   // the result
    window->SyncButton()->click();

    const auto& boxes = KWMsgBox::ShownBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text.toStdString(), KXStrings::GetString("sync_progress_cancel"));
    EXPECT_EQ(boxes[0].focus, KWMsgBox::kIdNo);
    EXPECT_EQ(boxes[1].text.toStdString(), KXStrings::Format("sync_success", 2));
    EXPECT_EQ(Names(m_driveFolder).size(), 2u);
    SyncRowModel& model = *window->Model();
    ASSERT_EQ(model.rowCount(), 4);
    for (int i = 0; i < model.rowCount(); ++i) {
        EXPECT_TRUE(model.Row(i).check);
        EXPECT_FALSE(fs::exists(model.Row(i).dstPath)) << model.Row(i).name;
    }
    EXPECT_FALSE(window->ArrowToDrive()->isHidden());
}

TEST_F(SyncWindowTest, HeaderSortingAndTheLogButton)
{
    WriteFile(m_computer / "b.txt", std::string(5000, 'b'));
    WriteFile(m_computer / "a.txt", std::string(10, 'a'));
    WriteFile(m_driveFolder / "c.txt", std::string(3000, 'c'));
    auto window = OpenWindow();
    window->show();
    SetDetails(*window, true);
    EXPECT_TRUE(window->LogButton()->isHidden()) << "SyncLog is off";

    QHeaderView* header = window->Table()->horizontalHeader();
    auto names = [&] {
        std::string joined;
        for (int i = 0; i < window->Model()->rowCount(); ++i)
            joined += window->Model()->Row(i).name + " ";
        return joined;
    };
    emit header->sectionClicked(0);
    EXPECT_EQ(names(), "a.txt b.txt c.txt ");
    emit header->sectionClicked(0);
    EXPECT_EQ(names(), "c.txt b.txt a.txt ");
    emit header->sectionClicked(1);
    EXPECT_EQ(names(), "a.txt c.txt b.txt ");
    EXPECT_EQ(window->PathText().toStdString(), (m_computer / "a.txt").string()) << "the first row is selected";

    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    window->OpenLog();
    EXPECT_EQ(LastBox(), KXStrings::GetString("no_log_yet"));
}

TEST_F(SyncWindowTest, EqualFilesAnHourApartAreCountedNotListed)
{
    WriteFile(m_computer / "same.txt", "same", 1'700'000'000);
    WriteFile(m_driveFolder / "same.txt", "same", 1'700'003'600);
    WriteFile(m_computer / "edited.txt", "mine", 1'700'000'000);
    WriteFile(m_driveFolder / "edited.txt", "your", 1'700'003'600);
    auto window = OpenWindow();
    window->show();
    SetDetails(*window, true);
    ASSERT_EQ(window->Model()->rowCount(), 1);
    EXPECT_EQ(window->Model()->Row(0).name, "edited.txt");
    EXPECT_EQ(window->TimeShiftText().toStdString(), KXStrings::Format("sync_time_shift", 1));
}

TEST_F(SyncWindowTest, WipingTheComputerFolderCopiesTheDriveFolderBack)
{
    WriteFile(m_computer / "local-only.txt", "x");
    WriteFile(m_driveFolder / "kept.txt", "k");
    auto window = OpenWindow();
    window->show();
    KWMsgBox::QueueAnswer(KWMsgBox::kIdNo);
    window->WipeFolder(false);
    EXPECT_TRUE(fs::exists(m_computer / "local-only.txt")) << "No leaves everything";

    KWMsgBox::QueueAnswer(KWMsgBox::kIdYes);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    window->WipeFolder(false);
    EXPECT_EQ(KWMsgBox::ShownBoxes()[1].text.toStdString(), KXStrings::GetString("sync_warn_wipe_local"));
    EXPECT_EQ(Names(m_computer), (std::set<std::string>{"kept.txt"}));
    EXPECT_EQ(Names(m_driveFolder), (std::set<std::string>{"kept.txt"}));
    // ctest gives the tests a trash of their own on the build's volume.
    if (const char* data = std::getenv("XDG_DATA_HOME")) {
        const auto infos = fs::path(data) / "Trash" / "info";
        bool found = false;
        for (const auto& e : fs::directory_iterator(infos))
            found = found || ReadFile(e.path()).find(EncodeTrashPath((m_computer / "local-only.txt").string())) !=
                                 std::string::npos;
        EXPECT_TRUE(found) << "the wiped file is in the trash";
    }
}

// Return at the questions that default to No, as a person at the keyboard
// meets them: neither folder is wiped and a run asked to stop goes on.
TEST_F(SyncWindowTest, ReturnAtTheWipeAndStopQuestionsChangesNothing)
{
    for (int i = 0; i < 4; ++i)
        WriteFile(m_computer / ("file" + std::to_string(i) + ".txt"), std::string(1000, char('a' + i)));
    WriteFile(m_driveFolder / "kept.txt", "k");
    auto window = OpenWindow();
    window->show();
    for (bool driveFolder : {true, false}) {
        SCOPED_TRACE(driveFolder ? "drive folder" : "computer folder");
        auto box = halvex::test::PressInNextBox(Qt::Key_Return);
        window->WipeFolder(driveFolder);
        EXPECT_TRUE(box->shown && box->closedByKey);
        EXPECT_EQ(box->focusedAnswer, KWMsgBox::kIdNo);
        EXPECT_EQ(box->text.toStdString(),
                  KXStrings::GetString(driveFolder ? "sync_warn_wipe_usb" : "sync_warn_wipe_local"));
        EXPECT_EQ(Names(m_driveFolder), (std::set<std::string>{"kept.txt"}));
        EXPECT_EQ(Names(m_computer).size(), 4u);
    }

    SetDetails(*window, true);
    auto boxes = halvex::test::PressInBoxes({Qt::Key_Return, Qt::Key_Return});
    window->SetBeforeEachFile([question = boxes[0]](DWWorkDlg& progress, std::uint32_t processed) {
        if (processed != 1)
            return;
        QMetaObject::invokeMethod(
            &progress, [&progress] { progress.reject(); }, Qt::QueuedConnection);
        // The worker stays here until the question is up, so it is held at
        // the pause gate while the box is open.
        halvex::IgnoreResult(halvex::test::WaitUntil([&] { return question->shown.load(); }, std::chrono::seconds(10)),
                             "a question that never came fails the checks below");
    });
    window->SyncButton()->click();
    EXPECT_TRUE(boxes[0]->shown && boxes[0]->closedByKey);
    EXPECT_EQ(boxes[0]->text.toStdString(), KXStrings::GetString("sync_progress_cancel"));
    EXPECT_EQ(boxes[0]->focusedAnswer, KWMsgBox::kIdNo);
    EXPECT_EQ(boxes[1]->text.toStdString(), KXStrings::Format("sync_success", 5));
    EXPECT_EQ(Names(m_driveFolder).size(), 5u) << "the run went on";
}

// Working the list without a mouse: Space toggles the current row's check
// box, whichever column the cursor is in.
TEST_F(SyncWindowTest, SpaceTogglesTheCheckOfTheCurrentRow)
{
    WriteFile(m_computer / "a.txt", "a");
    WriteFile(m_computer / "b.txt", "b");
    auto window = OpenWindow();
    window->show();
    SetDetails(*window, true);
    QTableView* table = window->Table();
    SyncRowModel& model = *window->Model();
    ASSERT_EQ(model.rowCount(), 2);
    table->setFocus();
    for (int column : {0, 2}) {
        SCOPED_TRACE(column);
        table->setCurrentIndex(model.index(1, column));
        const bool before = model.Row(1).check;
        QTest::keyClick(table, Qt::Key_Space);
        EXPECT_NE(model.Row(1).check, before);
        EXPECT_EQ(model.index(1, 0).data(Qt::CheckStateRole).toInt(), model.Row(1).check ? Qt::Checked : Qt::Unchecked);
        QTest::keyClick(table, Qt::Key_Space);
        EXPECT_EQ(model.Row(1).check, before);
    }
    EXPECT_TRUE(model.Row(0).check) << "the other row is left alone";
}

TEST_F(SyncWindowTest, PathLabelShortensLongPathsInTheMiddle)
{
    const std::string deep(120, 'd');
    WriteFile(m_computer / (deep + ".txt"), "x");
    auto window = OpenWindow();
    window->show();
    SetDetails(*window, true);
    const QString shown = window->PathShownText();
    EXPECT_EQ(window->PathText().toStdString(), (m_computer / (deep + ".txt")).string());
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(".txt"));
    EXPECT_TRUE(shown.startsWith(QString::fromStdString(m_computer.string()).left(4)));
}

class SyncFolderChooserTest : public SyncWindowTest {};

TEST_F(SyncFolderChooserTest, RefusesRemovableAndReadOnlyFoldersAndConfirmsCancel)
{
    const fs::path stick = m_root / "OtherStick";
    const fs::path good = m_root / "Projects";
    fs::create_directories(stick);
    fs::create_directories(good);
    halvex::SyncDriveProbe probe;
    probe.isRemovable = [&](const fs::path& folder) { return folder.string().rfind(stick.string(), 0) == 0; };
    probe.driveFreeBytes = [] { return std::optional<std::uint64_t>(1); };
    KWSyncFolder chooser(nullptr, m_driveFolder, probe);
    chooser.show();
    EXPECT_EQ(chooser.windowTitle().toStdString(), KXStrings::GetString("sync_folder_title"));
    EXPECT_EQ(chooser.CurrentChoice(), KWSyncFolder::kDesktop);
    EXPECT_FALSE(chooser.BrowseEnabled());
    EXPECT_EQ(chooser.FolderText().toStdString(), KWSyncFolder::DocumentsFolder().string());
    SaveScreenshot(chooser, "sync_folder_chooser.png");

    chooser.SetChoice(KWSyncFolder::kOwnFolder);
    EXPECT_TRUE(chooser.BrowseEnabled());
    const QString before = chooser.FolderText();
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    EXPECT_FALSE(chooser.AcceptBrowsed(stick));
    EXPECT_EQ(LastBox(), KXStrings::GetString("sync_browse_bad_folder"));
    EXPECT_EQ(chooser.FolderText(), before);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    EXPECT_FALSE(chooser.AcceptBrowsed(m_driveFolder / "inside")) << "the drive's own sync folder";
    if (::geteuid() != 0) {  // root may write anywhere
        const fs::path locked = m_root / "Locked";
        fs::create_directories(locked);
        fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::replace);
        KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
        EXPECT_FALSE(chooser.AcceptBrowsed(locked));
        EXPECT_EQ(LastBox(), KXStrings::GetString("sync_browse_folder_locked"));
        fs::permissions(locked, fs::perms::owner_all, fs::perm_options::replace);
    }
    EXPECT_TRUE(chooser.AcceptBrowsed(good));
    EXPECT_EQ(chooser.FolderText().toStdString(), good.string());

    // A folder larger than the drive's free space asks, No the default; No keeps the chooser open.
    WriteFile(good / "big.bin", "more than one byte");
    KWMsgBox::QueueAnswer(KWMsgBox::kIdNo);
    chooser.accept();
    EXPECT_EQ(LastBox(), KXStrings::Format("sync_folder_big", "Projects", "Projects"));
    EXPECT_EQ(KWMsgBox::ShownBoxes().back().focus, KWMsgBox::kIdNo);
    EXPECT_TRUE(chooser.isVisible());

    KWMsgBox::QueueAnswer(KWMsgBox::kIdNo);
    chooser.reject();
    EXPECT_EQ(LastBox(), KXStrings::GetString("sync_folder_cancel"));
    EXPECT_TRUE(chooser.isVisible()) << "No keeps the chooser open";

    KWMsgBox::QueueAnswer(KWMsgBox::kIdYes);
    chooser.accept();
    EXPECT_EQ(chooser.result(), QDialog::Accepted);
    EXPECT_EQ(chooser.getFolderPath(), good);
}

// A folder the drive's index names but this user never chose here is shown
// and asked about, No the default; Yes uses it and the next opening asks nothing.
TEST_F(SyncFolderChooserTest, AFolderTheDriveNamesIsAskedAboutUntilConfirmed)
{
    const fs::path named = m_root / "Named By The Drive";
    fs::create_directories(named);
    ASSERT_TRUE(halvex::WriteComputerFolder(halvex::SyncIndexPath(m_app.Paths().DataPath()),
                                            halvex::ScrambleIdentity(halvex::ComputerIdentity()), named));
    KWMsgBox::QueueAnswer(KWMsgBox::kIdYes);
    {
        KWSyncDlg window(nullptr, m_app, SyncMode::Normal);
        ASSERT_TRUE(window.Prepare());
    }
    ASSERT_EQ(KWMsgBox::ShownBoxes().size(), 1u);
    const KWMsgBox::Shown& question = KWMsgBox::ShownBoxes().front();
    EXPECT_NE(question.text.toStdString().find(named.string()), std::string::npos) << question.text.toStdString();
    EXPECT_EQ(question.buttons, KWMsgBox::kYesNo);
    EXPECT_EQ(question.focus, KWMsgBox::kIdNo);

    KWMsgBox::ClearTestState();
    KWSyncDlg again(nullptr, m_app, SyncMode::Normal);
    ASSERT_TRUE(again.Prepare());
    EXPECT_TRUE(KWMsgBox::ShownBoxes().empty()) << "confirmed once, asked no more";
}

TEST_F(SyncFolderChooserTest, ReturnAtTheCancelQuestionKeepsTheChooserOpen)
{
    halvex::SyncDriveProbe probe;
    probe.isRemovable = [](const fs::path&) { return false; };
    probe.driveFreeBytes = [] { return std::optional<std::uint64_t>(1); };
    KWSyncFolder chooser(nullptr, m_driveFolder, probe);
    chooser.show();
    auto box = halvex::test::PressInNextBox(Qt::Key_Return);
    QTest::keyClick(&chooser, Qt::Key_Escape);
    EXPECT_TRUE(box->shown && box->closedByKey);
    EXPECT_EQ(box->text.toStdString(), KXStrings::GetString("sync_folder_cancel"));
    EXPECT_EQ(box->focusedAnswer, KWMsgBox::kIdNo);
    EXPECT_TRUE(chooser.isVisible());
}

TEST_F(SyncFolderChooserTest, CancelledChooserClosesTheSyncWindowAndStoresNothing)
{
    // A stored folder that is gone: "sync_folder_gone", and No ends the window.
    fs::remove_all(m_computer);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdNo);
    KWSyncDlg window(nullptr, m_app, SyncMode::Normal);
    EXPECT_FALSE(window.Prepare());
    EXPECT_EQ(LastBox(), KXStrings::GetString("sync_folder_gone"));
}

}  // namespace

// The list opens before its scan and paints the rows found so far: a user
// with a long list sees it fill instead of a blank window until the end.
TEST_F(SyncWindowTest, RowsAreOnScreenWhileTheScanRuns)
{
    WriteFile(m_computer / "early.txt", "x");
    auto window = OpenWindow();
    halvex::SyncPacing pacing;
    pacing.afterScan = std::chrono::milliseconds(1000);  // the wait window stays up with the rows found
    window->SetPacing(pacing);
    window->show();
    bool seen = false;
    QTimer look;
    look.setInterval(20);
    QObject::connect(&look, &QTimer::timeout, [&] {
        QTableView* table = window->Table();
        if (window->Model()->rowCount() == 1 && table->updatesEnabled() && table->isVisible() &&
            !table->viewport()->visibleRegion().isEmpty() && window->height() > 300)
            seen = true;
    });
    look.start();
    SetDetails(*window, true);
    look.stop();
    EXPECT_TRUE(seen);
}
