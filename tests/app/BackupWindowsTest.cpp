#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <fstream>
#include <functional>
#include <sstream>

#include "AppFixture.h"
#include "BoxAtKeyboard.h"
#include "app/backup/BackupSession.h"
#include "app/backup/CHalvexBackUpDialogDlg.h"
#include "app/backup/KWBackupConfigureDlg.h"
#include "app/backup/KWCategoryDlgs.h"
#include "app/backup/KWRestoreChildDialog.h"
#include "system/ConfirmedFolders.h"
#include "app/backup/KWRunDlg.h"
#include "toolkit/DWSkin.h"
#include "backup/BackupFileUtils.h"
#include "strings/KXStrings.h"
#include "util/FileTime.h"

namespace fs = std::filesystem;
using namespace halvex;
using namespace halvex::app;
using halvex::test::ReadFile;
using halvex::test::WriteFile;

namespace {

constexpr const char* kIdentity = "02:00:00:AA:BB:CC";

// Acts on the next modal window of type T once its exec() has shown it.
template <class T>
void OnNextModal(std::function<void(T*)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto* window = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(window);
        }
    });
    timer->start();
}

void Shoot(QWidget* window, const char* name)
{
    SaveScreenshot(*window, name);
}

QStringList ShownTexts()
{
    QStringList texts;
    for (const auto& box : KWMsgBox::ShownBoxes())
        texts << box.text;
    return texts;
}

class BackupWindowsTest : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        const fs::path resources = m_drive / "HalvexDravane.app" / "Contents" / "Resources";
        ASSERT_TRUE(KXStrings::Init(resources));
        DWSkin::Init(resources, false);
        m_source = m_root / "Home" / "Work";
        WriteFile(m_source / "report.doc", "quarterly report");
        WriteFile(m_source / "notes.txt", "first notes");
        WriteFile(m_source / "letters" / "Letter.rtf", "{\\rtf1 dear}");
        WriteFile(m_source / "holiday.jpg", std::string(3000, 'j'));
        fs::create_directories(m_drive / "Halvex Data");
        m_session = std::make_unique<BackupSession>(m_drive / "Halvex Data", m_drive, 4096, kIdentity);
        m_session->desktopFolder = m_root / "Desktop";
        m_session->homeFolder = m_root / "Home";
        m_session->backedUpHere = [this](const std::string& set, const fs::path& folder) {
            return Record().Has(ConfirmedFolders::Use::Backup, kDrive, set, folder);
        };
        m_session->recordBackup = [this](const std::string& set, const fs::path& folder) {
            EXPECT_TRUE(Record().Record(ConfirmedFolders::Use::Backup, kDrive, set, folder));
        };
    }

    // This user's record on this computer, kept in the test's folder.
    ConfirmedFolders Record() const { return ConfirmedFolders(m_root / "config" / "confirmed-folders"); }
    inline static const DriveIdentity kDrive{"090C", "1000", "SERIAL1", "1A2B-3C4D", "STICK"};

    // A profile of this computer made without the windows.
    int MakeProfile(const std::string& setName)
    {
        BackupProfile profile = BackupProfile::WithDefaultLists(m_session->strings);
        profile.macAddress = kIdentity;
        profile.sourceFolder = m_source.string();
        profile.setName = setName;
        profile.predefinedChecked[1] = true;
        EXPECT_TRUE(m_session->store.ReadIndex());
        return m_session->store.Create(profile).ValueOr(0);
    }

    // Profile 1 as stored; an empty profile (and a failure) when it cannot be read.
    BackupProfile StoredProfile() const
    {
        const Result<BackupProfile> read = m_session->store.Read(1);
        EXPECT_TRUE(read) << read.detail();
        return read.ValueOr({});
    }

    fs::path m_source;
    std::unique_ptr<BackupSession> m_session;
};

TEST_F(BackupWindowsTest, ProfileMadeInTheWindowsIsBackedUpTwiceAndRestoredElsewhere)
{
    CHalvexBackUpDialogDlg window(nullptr, *m_session);
    EXPECT_FALSE(window.BackupButton()->isEnabled()) << "no profile yet";
    EXPECT_FALSE(window.EditButton()->isEnabled());

    bool saved = false;
    OnNextModal<KWBackupConfigureDlg>([&](KWBackupConfigureDlg* configure) {
        configure->NameEdit()->setText("Work");
        configure->SourceEdit()->setText(QString::fromStdString(m_source.string()));
        OnNextModal<KWCreateCatDlg>([](KWCreateCatDlg* create) {
            create->NameEdit()->setText("Letters");
            create->TypesEdit()->setText("doc:rtf");
            if (create->Save())
                create->accept();
        });
        configure->CreateCategory();
        configure->ClickCategory(3);  // Music: nothing of it in the folder
        configure->ToggleFilters();
        QTreeWidget* files = configure->FileList();
        ASSERT_EQ(files->topLevelItemCount(), 2) << "report.doc and Letter.rtf";
        configure->SortByColumn(0);
        EXPECT_EQ(files->topLevelItem(0)->text(0), "report.doc") << "greatest name first";
        configure->SortByColumn(0);
        EXPECT_EQ(files->topLevelItem(0)->text(0), "Letter.rtf") << "a second click reverses";
        EXPECT_EQ(files->header()->sortIndicatorOrder(), Qt::AscendingOrder);
        files->setCurrentItem(files->topLevelItem(0));
        EXPECT_TRUE(configure->PathLabel()->text().endsWith("Letter.rtf"))
            << configure->PathLabel()->text().toStdString();
        EXPECT_EQ(files->topLevelItem(0)->text(2), "Letters");
        Shoot(configure, "backup_configure.png");
        saved = configure->Save();
        configure->accept();
    });
    window.CreateProfile();
    ASSERT_TRUE(saved) << ShownTexts().join(" | ").toStdString();
    ASSERT_EQ(window.ProfileList()->count(), 1);
    EXPECT_TRUE(window.BackupButton()->isEnabled());
    const BackupProfile stored = StoredProfile();
    ASSERT_EQ(stored.userCategories.size(), 1u);
    EXPECT_EQ(stored.userCategories[0].types, "doc:rtf:");
    EXPECT_EQ(stored.setName, "Work");
    Shoot(&window, "backup_window.png");

    // Are you sure? Yes; then the closing message.
    KWMsgBox::QueueAnswer(KWMsgBox::kIdYes);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    window.Backup();
    const fs::path current = m_drive / "Backup" / "Work" / "Current Backup";
    ASSERT_TRUE(fs::exists(current / "report.doc.zip")) << ShownTexts().join(" | ").toStdString();
    EXPECT_TRUE(fs::exists(current / "letters" / "Letter.rtf.zip"));
    EXPECT_FALSE(fs::exists(current / "notes.txt.zip")) << "txt is in no checked category";
    EXPECT_EQ(ShownTexts().last().toStdString(), m_session->strings.Message(29));

    WriteFile(m_source / "report.doc", "quarterly report, revised");
    const auto later = FileModificationTime(m_source / "report.doc").value() + 5'000'000'000LL;
    ASSERT_TRUE(SetFileModificationTime(m_source / "report.doc", later));
    KWMsgBox::ClearTestState();
    KWMsgBox::QueueAnswer(KWMsgBox::kIdYes);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    window.Backup();
    EXPECT_TRUE(fs::exists(m_drive / "Backup" / "Work" / "Recent Backup" / "report.doc.zip"));

    const fs::path restored = m_root / "Restored";
    bool ran = false;
    OnNextModal<KWRestoreChildDialog>([&](KWRestoreChildDialog* restore) {
        EXPECT_FALSE(restore->RestoreButton()->isEnabled());
        ASSERT_TRUE(restore->SelectFolder(current));
        QTreeWidget* files = restore->FileList();
        ASSERT_EQ(files->topLevelItemCount(), 1) << "the subfolder's file is not in this folder";
        EXPECT_EQ(files->topLevelItem(0)->text(0), "report.doc");
        EXPECT_TRUE(
            QRegularExpression(R"(^\d\d/\d\d/\d{4}   \d\d:\d\d$)").match(files->topLevelItem(0)->text(3)).hasMatch());
        restore->SelectChoice(RestoreChoice::Other);
        KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
        files->topLevelItem(0)->setSelected(true);
        EXPECT_TRUE(restore->RestoreButton()->isEnabled());
        EXPECT_FALSE(restore->StartRestore()) << "no other folder chosen yet";
        EXPECT_EQ(ShownTexts().last().toStdString(), m_session->strings.Label(17));
        restore->OtherEdit()->setText(QString::fromStdString(restored.string()));
        Shoot(restore, "restore_window.png");
        KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
        ran = restore->StartRestore();
        restore->accept();
    });
    window.Restore();
    ASSERT_TRUE(ran);
    EXPECT_EQ(ReadFile(restored / "report.doc"), "quarterly report, revised");
    EXPECT_EQ(ShownTexts().last().toStdString(), m_session->strings.Message(28));
    const BackupProfile after = StoredProfile();
    EXPECT_EQ(after.restoreChoice, RestoreChoice::Other);
    EXPECT_EQ(after.restoreFolder, restored.string() + "/") << "the chosen folder keeps its trailing separator";
}

TEST_F(BackupWindowsTest, RestoreWindowSortsStoresItsDestinationAndReportsTheEndOfAStoppedRestore)
{
    // Three documents with distinct sizes and times, backed up once.
    std::string noise(5000, ' ');
    unsigned seed = 7;
    for (char& c : noise)
        c = static_cast<char>('!' + (seed = seed * 1103515245u + 12345u) % 90);  // does not compress
    WriteFile(m_source / "memo.txt", noise);
    const std::int64_t base = 1'600'000'000LL * 1'000'000'000LL;
    ASSERT_TRUE(SetFileModificationTime(m_source / "report.doc", base + 3'000'000'000'000LL));
    ASSERT_TRUE(SetFileModificationTime(m_source / "notes.txt", base + 2'000'000'000'000LL));
    ASSERT_TRUE(SetFileModificationTime(m_source / "memo.txt", base));
    MakeProfile("Work");
    CHalvexBackUpDialogDlg window(nullptr, *m_session);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdYes);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    window.Backup();
    const fs::path current = m_drive / "Backup" / "Work" / "Current Backup";
    ASSERT_TRUE(fs::exists(current / "memo.txt.zip")) << ShownTexts().join(" | ").toStdString();

    KWRestoreChildDialog restore(nullptr, *m_session);
    ASSERT_TRUE(restore.SelectFolder(current));
    QTreeWidget* files = restore.FileList();
    ASSERT_EQ(files->topLevelItemCount(), 3);
    const auto order = [files] {
        std::vector<std::string> names;
        names.reserve(static_cast<std::size_t>(files->topLevelItemCount()));
        for (int row = 0; row < files->topLevelItemCount(); ++row)
            names.push_back(files->topLevelItem(row)->text(0).toStdString());
        return names;
    };
    // Greatest first: names, sizes (memo does not compress), dates.
    const std::vector<std::string> byName{"report.doc", "notes.txt", "memo.txt"};
    const std::vector<std::string> byDate{"report.doc", "notes.txt", "memo.txt"};
    const std::vector<std::pair<int, std::vector<std::string>>> sorts{
        {0, byName}, {1, {"memo.txt", "report.doc", "notes.txt"}}, {3, byDate}};
    for (const auto& [column, expected] : sorts) {
        restore.SortByColumn(column);
        EXPECT_EQ(order(), expected) << "column " << column;
        EXPECT_EQ(files->header()->sortIndicatorSection(), column);
    }
    restore.SortByColumn(3);
    EXPECT_EQ(order(), std::vector<std::string>(byDate.rbegin(), byDate.rend())) << "a second click reverses";
    restore.SortByColumn(2);
    EXPECT_EQ(files->topLevelItem(0)->text(2) >= files->topLevelItem(2)->text(2), true) << "by type, greatest first";

    // Browse belongs to the other-folder choice, and what it picks is stored at once.
    for (auto [choice, enabled] :
         {std::pair{RestoreChoice::Desktop, false}, {RestoreChoice::Other, true}, {RestoreChoice::Original, false}}) {
        restore.SelectChoice(choice);
        EXPECT_EQ(restore.BrowseButton()->isEnabled(), enabled);
    }
    const fs::path elsewhere = m_root / "Elsewhere";
    restore.ChooseOtherFolder(QString::fromStdString(elsewhere.string()));
    EXPECT_EQ(restore.OtherEdit()->text().toStdString(), elsewhere.string() + "/");
    BackupProfile stored = StoredProfile();
    EXPECT_EQ(stored.restoreChoice, RestoreChoice::Other);
    EXPECT_EQ(stored.restoreFolder, elsewhere.string() + "/");

    // Desktop and original folder store their own texts.
    const auto restoreSelected = [&](RestoreChoice choice, const std::vector<int>& rows) {
        restore.SelectChoice(choice);
        files->clearSelection();
        for (int row : rows)
            files->topLevelItem(row)->setSelected(true);
        return restore.StartRestore();
    };
    restore.SortByColumn(0);  // report.doc, notes.txt, memo.txt
    KWMsgBox::ClearTestState();
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    ASSERT_TRUE(restoreSelected(RestoreChoice::Desktop, {1}));
    stored = StoredProfile();
    EXPECT_EQ(stored.restoreFolder, (m_session->desktopFolder / "HalvexRestoreFiles").string() + "/");
    EXPECT_EQ(ReadFile(m_session->desktopFolder / "HalvexRestoreFiles" / "notes.txt"), "first notes");

    // A damaged archive stops the restore part-way (No to going on): the end is still reported.
    WriteFile(current / "notes.txt.zip", "not a zip archive");
    fs::remove(m_source / "memo.txt");
    KWMsgBox::ClearTestState();
    KWMsgBox::QueueAnswer(KWMsgBox::kIdNo);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    ASSERT_TRUE(restoreSelected(RestoreChoice::Original, {1, 2}));
    stored = StoredProfile();
    EXPECT_EQ(stored.restoreFolder, m_session->strings.Label(15));
    EXPECT_EQ(ShownTexts().size(), 2u) << ShownTexts().join(" | ").toStdString();
    EXPECT_EQ(ShownTexts().last().toStdString(), m_session->strings.Message(28));
    EXPECT_FALSE(fs::exists(m_source / "memo.txt")) << "the files after the stop stay in the set";
}

TEST_F(BackupWindowsTest, CategoryWindowsCheckTheirFieldsAndEditTheProfile)
{
    BackupProfile profile = BackupProfile::WithDefaultLists(m_session->strings);
    KWCreateCatDlg create(nullptr, m_session->strings, profile, {"All", "Documents"});
    auto attempt = [&](const char* name, const char* types) {
        KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
        create.NameEdit()->setText(name);
        create.TypesEdit()->setText(types);
        return create.Save();
    };
    struct Refusal {
        const char* name;
        const char* types;
        int message;
    };
    for (const Refusal& refusal :
         {Refusal{"", "doc", 35}, Refusal{"Mail", " ", 27}, Refusal{"Mail/Old", "eml", 4},
          Refusal{"Documents", "eml", 5}, Refusal{"Mail", "eml;msg", 6}, Refusal{"Mail", "eml:msg:eml", 8}}) {
        EXPECT_FALSE(attempt(refusal.name, refusal.types)) << refusal.name << " " << refusal.types;
        EXPECT_EQ(ShownTexts().last().toStdString(), m_session->strings.Message(refusal.message));
    }
    EXPECT_TRUE(profile.userCategories.empty());
    create.NameEdit()->setText("  Letters ");
    create.TypesEdit()->setText("doc:rtf");
    EXPECT_TRUE(create.Save());
    ASSERT_EQ(profile.userCategories.size(), 1u);
    EXPECT_EQ(profile.userCategories[0].name, "Letters");
    EXPECT_EQ(profile.userCategories[0].types, "doc:rtf:");
    create.NameEdit()->setText("Letters");
    create.TypesEdit()->setText(":doc:rtf");
    ASSERT_EQ(create.TypeList()->count(), 2) << "the list shows the types being typed";
    EXPECT_EQ(create.TypeList()->item(1)->text(), "rtf");
    create.TypesEdit()->setText("doc;rtf");
    EXPECT_EQ(create.TypeList()->count(), 0) << "a field that would be refused lists nothing";
    create.TypesEdit()->setText("doc:rtf");
    create.show();
    Shoot(&create, "backup_create_category.png");
    profile.userCategories.push_back({"Mail", "eml:", true});

    KWMsgBox::ClearTestState();
    KWEditCatDlg edit(nullptr, m_session->strings, profile);
    ASSERT_EQ(edit.Categories()->count(), 2);
    EXPECT_EQ(edit.TypeList()->count(), 2);
    edit.TypesEdit()->setText("txt:wps");
    EXPECT_TRUE(edit.AddTypes());
    EXPECT_EQ(profile.userCategories[0].types, "doc:rtf:txt:wps:");
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    edit.TypesEdit()->setText("RTF:rtf");
    EXPECT_FALSE(edit.AddTypes()) << "rtf is held already";
    EXPECT_EQ(ShownTexts().last().toStdString(), m_session->strings.Message(8));
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    edit.TypesEdit()->setText("");
    EXPECT_FALSE(edit.AddTypes());
    EXPECT_EQ(edit.TypesEdit()->text(), "doc:rtf:txt:wps:") << "an empty field is reset to the list";
    edit.TypesEdit()->clear();
    edit.show();
    Shoot(&edit, "backup_edit_category.png");

    edit.TypeList()->setCurrentRow(1);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdNo);
    edit.RemoveType();
    EXPECT_EQ(profile.userCategories[0].types, "doc:rtf:txt:wps:") << "No keeps the type";
    KWMsgBox::QueueAnswer(KWMsgBox::kIdYes);
    edit.RemoveType();
    EXPECT_EQ(profile.userCategories[0].types, "doc:txt:wps:");

    KWMsgBox::QueueAnswer(KWMsgBox::kIdYes);
    edit.DeleteCategory();
    ASSERT_EQ(profile.userCategories.size(), 1u);
    EXPECT_EQ(profile.userCategories[0].name, "Mail") << "the later category moves down";
    edit.TypeList()->setCurrentRow(0);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdYes);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    edit.RemoveType();
    EXPECT_EQ(ShownTexts().last().toStdString(), m_session->strings.Message(9)) << "the last type stays";
    KWMsgBox::QueueAnswer(KWMsgBox::kIdYes);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    edit.DeleteCategory();
    EXPECT_TRUE(profile.userCategories.empty());
    EXPECT_EQ(ShownTexts().last().toStdString(), m_session->strings.Message(26));
}

TEST_F(BackupWindowsTest, ConfigurationRefusesBadNamesAndFollowsTheAllRules)
{
    KWBackupConfigureDlg configure(nullptr, *m_session, true);
    configure.SourceEdit()->setText(QString::fromStdString(m_source.string()));
    auto refusedWith = [&](const char* name) {
        KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
        configure.NameEdit()->setText(name);
        EXPECT_FALSE(configure.Save()) << name;
        return ShownTexts().last().toStdString();
    };
    EXPECT_EQ(refusedWith("Work:Old"), m_session->strings.Message(33));
    EXPECT_EQ(refusedWith("  "), m_session->strings.Message(33));
    EXPECT_EQ(refusedWith("Work.old"), m_session->strings.Message(60));

    configure.ClickCategory(0);
    for (int row = 0; row < 5; ++row)
        EXPECT_EQ(configure.CategoryList()->item(row)->checkState(), Qt::Checked) << row;
    configure.ClickCategory(2);
    EXPECT_EQ(configure.CategoryList()->item(2)->checkState(), Qt::Checked) << "All holds the others";
    configure.ClickCategory(0);
    for (int row = 0; row < 5; ++row)
        EXPECT_EQ(configure.CategoryList()->item(row)->checkState(), Qt::Unchecked) << row;
    EXPECT_EQ(refusedWith("Work"), m_session->strings.Message(50));
    EXPECT_FALSE(fs::exists(m_session->store.ProfilePath(1))) << "nothing written on a refusal";

    configure.ClickCategory(1);
    EXPECT_TRUE(configure.Save());
    MakeProfile("Other");
    KWBackupConfigureDlg second(nullptr, *m_session, true);
    second.SourceEdit()->setText(QString::fromStdString(m_source.string()));
    second.ClickCategory(4);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    second.NameEdit()->setText("WORK");
    EXPECT_FALSE(second.Save()) << "set folders differ by more than case";
    EXPECT_EQ(ShownTexts().last().toStdString(), m_session->strings.Message(52));
}

TEST_F(BackupWindowsTest, RenamingAProfileMovesItsSetFolder)
{
    MakeProfile("Work");
    WriteFile(m_drive / "Backup" / "Work" / "Current Backup" / "a.doc.zip", "zip");
    CHalvexBackUpDialogDlg window(nullptr, *m_session);
    KWBackupConfigureDlg configure(&window, *m_session, false);
    EXPECT_EQ(configure.NameEdit()->text(), "Work");
    configure.NameEdit()->setText("Job");
    ASSERT_TRUE(configure.Save()) << ShownTexts().join(" | ").toStdString();
    EXPECT_TRUE(fs::exists(m_drive / "Backup" / "Job" / "Current Backup" / "a.doc.zip"));
    EXPECT_FALSE(fs::exists(m_drive / "Backup" / "Work"));
    const BackupProfile stored = StoredProfile();
    EXPECT_EQ(stored.setName, "Job");
}

TEST_F(BackupWindowsTest, DeletingTheOnlyProfileRemovesItsSetAndDisablesTheCommands)
{
    MakeProfile("Work");
    WriteFile(m_drive / "Backup" / "Work" / "Current Backup" / "a.doc.zip", "zip");
    WriteFile(m_drive / "Backup" / "Keep" / "Current Backup" / "b.doc.zip", "zip");
    CHalvexBackUpDialogDlg window(nullptr, *m_session);
    ASSERT_EQ(window.ProfileList()->count(), 1);
    EXPECT_TRUE(window.DeleteButton()->isEnabled());

    KWMsgBox::QueueAnswer(KWMsgBox::kIdNo);
    window.DeleteProfile();
    EXPECT_EQ(window.ProfileList()->count(), 1) << "No keeps it";
    EXPECT_EQ(ShownTexts().last().toStdString(),
              m_session->strings.Message(53) + " Work" + m_session->strings.Message(54));

    KWMsgBox::QueueAnswer(KWMsgBox::kIdYes);
    window.DeleteProfile();
    EXPECT_EQ(window.ProfileList()->count(), 0);
    EXPECT_FALSE(window.EditButton()->isEnabled());
    EXPECT_FALSE(window.DeleteButton()->isEnabled());
    EXPECT_FALSE(window.BackupButton()->isEnabled());
    EXPECT_FALSE(window.RestoreButton()->isEnabled());
    EXPECT_FALSE(fs::exists(m_drive / "Backup" / "Work"));
    EXPECT_TRUE(fs::exists(m_drive / "Backup" / "Keep" / "Current Backup" / "b.doc.zip")) << "other sets stay";
    EXPECT_FALSE(fs::exists(m_session->store.ProfilePath(1)));
}

// Return at a question that deletes something answers No, as a person at the
// keyboard meets the box: the profile with its set, a file type and a
// category all stay. A regression: Return pressed Yes and the set was gone.
TEST_F(BackupWindowsTest, ReturnAtEachDeletionQuestionKeepsEverything)
{
    MakeProfile("Work");
    WriteFile(m_drive / "Backup" / "Work" / "Current Backup" / "a.doc.zip", "zip");
    CHalvexBackUpDialogDlg window(nullptr, *m_session);
    window.show();
    auto seen = halvex::test::PressInNextBox(Qt::Key_Return);
    window.DeleteButton()->click();
    EXPECT_TRUE(seen->shown && seen->closedByKey);
    EXPECT_EQ(seen->focusedAnswer, KWMsgBox::kIdNo);
    EXPECT_EQ(seen->text.toStdString(), m_session->strings.Message(53) + " Work" + m_session->strings.Message(54));
    EXPECT_EQ(window.ProfileList()->count(), 1);
    EXPECT_TRUE(fs::exists(m_session->store.ProfilePath(1)));
    EXPECT_TRUE(fs::exists(m_drive / "Backup" / "Work" / "Current Backup" / "a.doc.zip"));

    BackupProfile profile = BackupProfile::WithDefaultLists(m_session->strings);
    profile.userCategories.push_back({"Letters", "doc:rtf:", true});
    KWEditCatDlg edit(nullptr, m_session->strings, profile);
    edit.show();
    edit.TypeList()->setCurrentRow(1);
    const std::vector<std::pair<const char*, std::function<void()>>> questions = {
        {"remove type", [&] { edit.RemoveType(); }},
        {"delete category", [&] { edit.DeleteCategory(); }},
    };
    for (const auto& [what, ask] : questions) {
        SCOPED_TRACE(what);
        auto box = halvex::test::PressInNextBox(Qt::Key_Return);
        ask();
        EXPECT_TRUE(box->shown && box->closedByKey);
        EXPECT_EQ(box->focusedAnswer, KWMsgBox::kIdNo);
        ASSERT_EQ(profile.userCategories.size(), 1u);
        EXPECT_EQ(profile.userCategories[0].types, "doc:rtf:");
    }
}

TEST_F(BackupWindowsTest, BackupWindowAnswersQuestionsAndRefusalsOfTheRun)
{
    MakeProfile("Work");
    CHalvexBackUpDialogDlg window(nullptr, *m_session);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdNo);
    window.Backup();
    EXPECT_EQ(ShownTexts().size(), 1u);
    EXPECT_EQ(ShownTexts().last().toStdString(), m_session->strings.Message(1));
    EXPECT_FALSE(fs::exists(m_drive / "Backup" / "Work")) << "No to the question starts nothing";

    // Nothing of the category left in the folder: message 38 from the worker.
    fs::remove(m_source / "report.doc");
    fs::remove(m_source / "notes.txt");
    fs::remove_all(m_source / "letters");
    KWMsgBox::ClearTestState();
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    window.StartBackup();
    EXPECT_EQ(ShownTexts().join(" | ").toStdString(), m_session->strings.Message(38));

    // A run in progress, drawn for the screenshot before its first tick.
    KWBackupProcessDlg progress(&window, *m_session);
    progress.show();
    EXPECT_FALSE(progress.CancelButton()->isEnabled()) << "Cancel waits for the run";
    progress.View().SetProgress(37, 120);
    progress.View().SetStatusText("Copying file \"Quarterly report.doc\" from \"" + m_source.string() + "/\"\n");
    progress.View().EnableCancel();
    QCoreApplication::processEvents();
    EXPECT_TRUE(progress.CancelButton()->isEnabled());
    Shoot(&progress, "backup_progress.png");
    progress.reject();
    EXPECT_FALSE(progress.Started());
}

}  // namespace

TEST_F(BackupWindowsTest, CancelBeforeTheRunStartsNothingAndClosesTheWindow)
{
    MakeProfile("Work");
    CHalvexBackUpDialogDlg window(nullptr, *m_session);
    OnNextModal<KWBackupProcessDlg>([](KWBackupProcessDlg* progress) { progress->reject(); });
    window.StartBackup();  // back once the window has closed
    EXPECT_TRUE(ShownTexts().isEmpty());
    EXPECT_FALSE(fs::exists(m_drive / "Backup" / "Work")) << "nothing copied after the cancel";
}

TEST_F(BackupWindowsTest, ProfileWithAHostileSetNameIsShownDamagedAndNeverUsed)
{
    MakeProfile("..");
    WriteFile(m_drive / "Backup" / "Keep" / "Current Backup" / "b.doc.zip", "zip");
    WriteFile(m_drive / "Sync" / "mine.txt", "mine");
    // Selecting it, deleting it, backing it up and restoring each say why, and only that.
    for (int box = 0; box < 4; ++box)
        KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    CHalvexBackUpDialogDlg window(nullptr, *m_session);
    ASSERT_EQ(window.ProfileList()->count(), 1);
    EXPECT_TRUE(window.ProfileList()->item(0)->text().endsWith(m_session->Message(backup_message::kDamagedMark)));
    window.DeleteProfile();
    window.Backup();
    window.Restore();
    const QString damaged = m_session->Message(backup_message::kDamagedProfile);
    ASSERT_EQ(ShownTexts().size(), 4);
    for (const auto& text : ShownTexts())
        EXPECT_TRUE(text.startsWith(damaged)) << text.toStdString();
    EXPECT_EQ(window.ProfileList()->count(), 1);
    EXPECT_TRUE(fs::exists(m_session->store.ProfilePath(1)));
    EXPECT_EQ(ReadFile(m_drive / "Sync" / "mine.txt"), "mine");
    EXPECT_TRUE(fs::exists(m_drive / "Backup" / "Keep" / "Current Backup" / "b.doc.zip"));
}

TEST_F(BackupWindowsTest, ProfileIndexThatCannotBeWrittenIsShown)
{
    MakeProfile("Work");
    // A folder where the index belongs: it can be neither read nor replaced.
    const fs::path index = m_session->store.IndexPath();
    fs::remove(index);
    fs::create_directory(index);
    // Reading it at the start and storing the selection each say so.
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    CHalvexBackUpDialogDlg window(nullptr, *m_session);
    EXPECT_EQ(window.ProfileList()->count(), 1);
    const QString expected =
        m_session->Message(backup_message::kProfileUnreadable) + " " + QString::fromStdString(index.string());
    ASSERT_EQ(ShownTexts().size(), 2);
    for (const auto& text : ShownTexts())
        EXPECT_EQ(text, expected);
}

// The drive names the folder a set came from: the window shows it before
// anything is written, a folder this user did not back the set up from here
// is asked about (No the default), and one outside the home is refused.
TEST_F(BackupWindowsTest, RestoreWindowShowsTheOriginalFolderAndAsksAboutOneNotBackedUpHere)
{
    MakeProfile("Work");
    CHalvexBackUpDialogDlg window(nullptr, *m_session);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdYes);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    window.Backup();
    const fs::path set = m_drive / "Backup" / "Work";
    ASSERT_TRUE(fs::exists(set / "Current Backup" / "notes.txt.zip")) << ShownTexts().join(" | ").toStdString();

    struct Row {
        const char* name;
        fs::path original;
        std::optional<int> answer;  // to the question; nothing: none expected
        bool restored;
        std::string shown;  // among the boxes
    };
    const fs::path elsewhere = m_root / "Home" / "Elsewhere";
    const std::vector<Row> table = {
        {"backed up here", m_source, std::nullopt, true, ""},
        {"another folder, No", elsewhere, KWMsgBox::kIdNo, false, elsewhere.string() + "/"},
        {"another folder, Yes", elsewhere, KWMsgBox::kIdYes, true, elsewhere.string() + "/"},
        {"outside the home", m_root / "Outside", std::nullopt, false, "does not lie in your home folder"},
        {"hidden folder", m_root / "Home" / ".config" / "autostart", std::nullopt, false, "lies in a hidden folder"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        fs::remove(row.original / "notes.txt");
        WriteFile(set / "info.ini", row.original.string() + "/");
        KWRestoreChildDialog restore(nullptr, *m_session);
        ASSERT_TRUE(restore.SelectFolder(set / "Current Backup"));
        EXPECT_NE(restore.OriginalFolderLabel()->text().toStdString().find(row.original.string() + "/"),
                  std::string::npos)
            << restore.OriginalFolderLabel()->text().toStdString();
        restore.SelectChoice(RestoreChoice::Original);
        QTreeWidget* files = restore.FileList();
        for (int i = 0; i < files->topLevelItemCount(); ++i)
            files->topLevelItem(i)->setSelected(files->topLevelItem(i)->text(0) == "notes.txt");
        KWMsgBox::ClearTestState();
        if (row.answer)
            KWMsgBox::QueueAnswer(*row.answer);
        KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
        ASSERT_TRUE(restore.StartRestore());
        EXPECT_EQ(fs::exists(row.original / "notes.txt"), row.restored);
        const QStringList shown = ShownTexts();
        EXPECT_TRUE(row.shown.empty() || shown.join(" | ").contains(QString::fromStdString(row.shown)))
            << shown.join(" | ").toStdString();
        const auto& boxes = KWMsgBox::ShownBoxes();
        const auto question = std::find_if(boxes.begin(), boxes.end(), [](const auto& box) {
            return box.text.contains(QStringLiteral("was not backed up from"));
        });
        EXPECT_EQ(question != boxes.end(), row.answer.has_value());
        if (question != boxes.end()) {
            EXPECT_EQ(question->focus, KWMsgBox::kIdNo) << "a stray Enter writes nothing";
        }
    }
    EXPECT_FALSE(fs::exists(m_root / "Outside"));
    EXPECT_FALSE(fs::exists(m_root / "Home" / ".config" / "autostart" / "notes.txt"));
}

// Return at "is newer ... replace it?" keeps the user's newer file: the
// question replaces a file, so No holds the focus.
TEST_F(BackupWindowsTest, ReturnAtTheOverwriteQuestionKeepsTheNewerFile)
{
    MakeProfile("Work");
    CHalvexBackUpDialogDlg window(nullptr, *m_session);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdYes);
    KWMsgBox::QueueAnswer(KWMsgBox::kIdOk);
    window.Backup();
    const fs::path current = m_drive / "Backup" / "Work" / "Current Backup";
    ASSERT_TRUE(fs::exists(current / "notes.txt.zip")) << ShownTexts().join(" | ").toStdString();
    WriteFile(m_source / "notes.txt", "edited since the backup");
    ASSERT_TRUE(SetFileModificationTime(m_source / "notes.txt", 1'900'000'000LL * 1'000'000'000LL));
    KWMsgBox::ClearTestState();

    KWRestoreChildDialog restore(nullptr, *m_session);
    ASSERT_TRUE(restore.SelectFolder(current));
    restore.SelectChoice(RestoreChoice::Original);
    QTreeWidget* files = restore.FileList();
    for (int i = 0; i < files->topLevelItemCount(); ++i)
        files->topLevelItem(i)->setSelected(files->topLevelItem(i)->text(0) == "notes.txt");
    // The question, then the end of the restore.
    const auto seen = halvex::test::PressInBoxes({Qt::Key_Return, Qt::Key_Return});
    ASSERT_TRUE(restore.StartRestore());
    ASSERT_TRUE(seen[0]->shown && seen[0]->closedByKey);
    EXPECT_TRUE(seen[0]->text.contains(QString::fromStdString(m_session->strings.Message(backup_message::kOverwrite))))
        << seen[0]->text.toStdString();
    EXPECT_EQ(seen[0]->focusedAnswer, KWMsgBox::kIdNo);
    EXPECT_EQ(seen[1]->text.toStdString(), m_session->strings.Message(backup_message::kRestoreDone));
    EXPECT_EQ(ReadFile(m_source / "notes.txt"), "edited since the backup");
}

// The category rows at the keyboard and for a screen reader: Space toggles
// the current row by the "All" rules, a click toggles once wherever it lands
// on the row, and each row says it is a check box and whether it is checked.
TEST_F(BackupWindowsTest, CategoryChecksFollowSpaceAndClicksAndTellTheirState)
{
    KWBackupConfigureDlg configure(nullptr, *m_session, true);
    configure.show();
    configure.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&configure, 1000));
    QListWidget* list = configure.CategoryList();
    list->setFocus(Qt::TabFocusReason);
    const auto checked = [list](int row) { return list->item(row)->checkState() == Qt::Checked; };
    const auto space = [&](int row) {
        list->setCurrentRow(row);
        QTest::keyClick(configure.windowHandle(), Qt::Key_Space);
    };
    const auto said = [list](int row) {
        QAccessibleInterface* cell = QAccessible::queryAccessibleInterface(list)->child(row);
        EXPECT_TRUE(cell && cell->state().checkable) << row;
        return cell && cell->state().checked;
    };

    space(2);
    EXPECT_TRUE(checked(2));
    EXPECT_TRUE(said(2));
    EXPECT_FALSE(said(1));
    space(2);
    EXPECT_FALSE(checked(2));
    EXPECT_FALSE(said(2));
    space(0);  // All checks every row, and holds them
    for (int row = 0; row < list->count(); ++row)
        EXPECT_TRUE(checked(row) && said(row)) << row;
    space(3);
    EXPECT_TRUE(checked(3)) << "All holds the others";
    EXPECT_EQ(list->currentRow(), 3) << "the keyboard stays on its row";

    const auto click = [list](int row, bool onTheBox) {
        const QRect rect = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          onTheBox ? QPoint(rect.left() + 10, rect.center().y()) : rect.center());
    };
    click(0, false);
    for (int row = 0; row < list->count(); ++row)
        EXPECT_FALSE(checked(row)) << row;
    click(1, true);
    EXPECT_TRUE(checked(1)) << "a click on the box toggles once";
    click(1, false);
    EXPECT_FALSE(checked(1));
    EXPECT_TRUE(configure.Profile().predefinedChecked[1] == checked(1)) << "the profile follows the rows";
}
