// Every text a window shows comes from the string tables. With a table whose
// values are their own keys between markers, a visible text without the
// markers was written into the code, and a marker names a key the tables must
// hold in every language.

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMap>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTableView>
#include <QTest>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <fstream>
#include <functional>
#include <set>

#include "AppFixture.h"
#include "app/backup/BackupSession.h"
#include "app/backup/CHalvexBackUpDialogDlg.h"
#include "app/backup/KWBackupConfigureDlg.h"
#include "app/backup/KWCategoryDlgs.h"
#include "app/backup/KWRestoreChildDialog.h"
#include "app/backup/KWRunDlg.h"
#include "app/backup/KWUpdateWaitDialog.h"
#include "toolkit/DWProgressBar.h"
#include "toolkit/DWTrayIcon.h"
#include "toolkit/DWWaitDlg.h"
#include "toolkit/AppText.h"
#include "toolkit/DWWorkDlg.h"
#include "app/main/KWAboutDlg.h"
#include "app/autorun/KWAutoRunDlg.h"
#include "app/update/KWDownloadDlg.h"
#include "app/main/KWMainApp.h"
#include "app/main/KWPelloryDlg.h"
#include "app/prefs/KWPrefsDlg.h"
#include "app/setup/KWSetupDlg.h"
#include "app/setup/KWSetupLicense.h"
#include "app/setup/KWStartupDlg.h"
#include "app/sync/KWSyncDlg.h"
#include "app/sync/KWSyncFolder.h"
#include "app/main/MainCommand.h"
#include "app/sync/SyncFolderSupport.h"
#include "strings/KXStrings.h"
#include "system/ConfirmedFolders.h"
#include "system/DriveIdentity.h"
#include "sync/SyncFolderPair.h"
#include "util/ComputerIdentity.h"
#include "util/ScrambleIdentity.h"

namespace fs = std::filesystem;
using namespace halvex;
using namespace halvex::app;

namespace {

const QString kOpen = QStringLiteral("\u27E6");
const QString kClose = QStringLiteral("\u27E7");
const QRegularExpression kPlaceholder(QStringLiteral("%(?:\\d*l?[sdc]|%)"));
const QRegularExpression kMarkedKey(QStringLiteral("\u27E6([A-Za-z0-9_]+)"));
const QRegularExpression kInnermostMarked(QStringLiteral("\u27E6[^\u27E6\u27E7]*\u27E7"));
// Texts that are data, not wording: sizes, percentages, list dates.
const QRegularExpression kDataText(
    QStringLiteral("^(\\d+%|\\d+ (byte|bytes|KB)|\\d\\d/\\d\\d/\\d{4}   \\d\\d:\\d\\d)$"));

const std::vector<LanguageId> kLanguages = {1033, 2057, 1036, 3084, 1041, 2052, 1028};

// "key" = "⟦key %s⟧": the markers around the key, with the English
// placeholders kept so that formatted texts still format.
std::string PseudoTable(const StringTable& english)
{
    std::string text;
    for (const auto& [key, value] : english.Entries()) {
        QString pseudo = kOpen + QString::fromStdString(key);
        auto matches = kPlaceholder.globalMatch(QString::fromStdString(value));
        while (matches.hasNext())
            pseudo += " " + matches.next().captured();
        text += "\"" + key + "\" = \"" + (pseudo + kClose).toStdString() + "\";\n";
    }
    return text;
}

// Walks windows and menus and keeps what it finds: texts without markers,
// and the keys the markers name.
class TextCheck {
public:
    explicit TextCheck(QStringList data) : m_data(std::move(data)) {}

    void Text(const QString& where, QString text, bool required = false)
    {
        text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
        text = text.trimmed();
        if (text.isEmpty()) {
            if (required)
                m_unmarked.push_back(where + ": (empty)");
            return;
        }
        auto keys = kMarkedKey.globalMatch(text);
        while (keys.hasNext())
            m_keys.insert(keys.next().captured(1).toStdString());
        QString rest = text;
        for (QString before; before != rest;) {
            before = rest;
            rest.remove(kInnermostMarked);
        }
        rest.remove(QRegularExpression(QStringLiteral("[\\s.:()/\\-]")));
        if (rest.isEmpty() || kDataText.match(text).hasMatch())
            return;
        for (const QString& data : m_data)
            if (text.contains(data))
                return;
        m_unmarked.push_back(where + ": " + text);
    }

    // Called with each window the walk reaches, after its texts are read.
    std::function<void(QWidget*, const QString&)> onWindow;

    void Window(QWidget* window, const QString& name)
    {
        Text(name + " title", window->windowTitle(), true);
        QList<QWidget*> widgets = window->findChildren<QWidget*>();
        widgets.prepend(window);
        for (QWidget* widget : widgets) {
            if (widget != window && !widget->isVisibleTo(window))
                continue;
            const QString where = name + " " + widget->metaObject()->className();
            Text(where + " tip", widget->toolTip());
            if (auto* label = qobject_cast<QLabel*>(widget)) {
                const QString text = Qt::mightBeRichText(label->text())
                                         ? QTextDocumentFragment::fromHtml(label->text()).toPlainText()
                                         : label->text();
                Text(where, text);
            } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
                const bool worded = qobject_cast<QPushButton*>(widget) || qobject_cast<QCheckBox*>(widget) ||
                                    qobject_cast<QRadioButton*>(widget);
                Text(where, button->text(), worded);
                if (auto* tool = qobject_cast<QToolButton*>(widget); tool && tool->menu())
                    Menu(tool->menu(), where);
            } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
                Text(where, group->title(), true);
            } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
                Text(where + " placeholder", edit->placeholderText());
            } else if (auto* list = qobject_cast<QListWidget*>(widget)) {
                for (int row = 0; row < list->count(); ++row)
                    Text(where, list->item(row)->text());
            } else if (auto* view = qobject_cast<QAbstractItemView*>(widget)) {
                QHeaderView* header = nullptr;
                if (auto* tree = qobject_cast<QTreeView*>(view))
                    header = tree->header();
                else if (auto* table = qobject_cast<QTableView*>(view))
                    header = table->horizontalHeader();
                if (header && !header->isHidden() && view->model())
                    for (int column = 0; column < view->model()->columnCount(); ++column)
                        if (!header->isSectionHidden(column))
                            Text(where + " column", view->model()->headerData(column, Qt::Horizontal).toString(), true);
            }
            // What a screen reader says is a text too.
            Text(where + " accessible name", widget->accessibleName());
            Text(where + " accessible description", widget->accessibleDescription());
        }
        if (onWindow)
            onWindow(window, name);
    }

    void Menu(QMenu* menu, const QString& where)
    {
        emit menu->aboutToShow();  // menus filled as they open
        for (QAction* action : menu->actions()) {
            if (action->isSeparator())
                continue;
            Text(where + " menu", action->text(), true);
            if (action->menu())
                Menu(action->menu(), where);
        }
    }

    // The next popup menu that opens (a drop-down run with exec) is read and closed.
    void CatchPopup(QObject* context, const QString& where)
    {
        QTimer::singleShot(50, context, [this, where] {
            if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                Menu(popup, where);
                popup->close();
            } else {
                m_unmarked.push_back(where + ": the menu did not open");
            }
        });
    }

    const std::vector<QString>& Unmarked() const { return m_unmarked; }
    const std::set<std::string>& Keys() const { return m_keys; }

private:
    QStringList m_data;
    std::vector<QString> m_unmarked;
    std::set<std::string> m_keys;
};

// The controls a screen reader stops at: those that take the keyboard focus,
// buttons, and the bars that show an amount. Each must have a role and a
// name; a bar also says its amount in its description; and no two buttons
// that act (not check or radio boxes) share a name, or a listener cannot
// tell which does what.
QStringList NamelessControls(QWidget* window, const QString& name)
{
    QStringList nameless;
    QMap<QString, QString> buttonNames;
    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        if (!widget->isVisibleTo(window))
            continue;
        const bool bar = qobject_cast<DWProgressBar*>(widget) != nullptr;
        const bool control = widget->focusPolicy() != Qt::NoFocus || qobject_cast<QAbstractButton*>(widget) || bar;
        if (!control || qobject_cast<QScrollBar*>(widget))
            continue;
        const QString where = name + " " + widget->metaObject()->className() + " " + widget->objectName();
        QAccessibleInterface* access = QAccessible::queryAccessibleInterface(widget);
        if (!access) {
            nameless << where + ": no accessible interface";
            continue;
        }
        const QAccessible::Role role = access->role();
        if (role == QAccessible::NoRole || role == QAccessible::Client)
            nameless << where + ": no role";
        const QString spoken = access->text(QAccessible::Name).trimmed();
        if (spoken.isEmpty())
            nameless << where + ": no name";
        if (role == QAccessible::PushButton && !spoken.isEmpty()) {
            if (buttonNames.contains(spoken))
                nameless << where + ": named \"" + spoken + "\" as " + buttonNames[spoken] + " is";
            buttonNames.insert(spoken, where);
        }
        if (bar && access->text(QAccessible::Description).trimmed().isEmpty())
            nameless << where + ": the bar does not say its amount";
    }
    return nameless;
}

// The letters that Alt takes to a control in one window: two controls with
// the same letter make the second unreachable by it.
QStringList ClashingMnemonics(QWidget* window, const QString& name)
{
    static const QRegularExpression kMnemonic(QStringLiteral("&([^&])"));
    QMap<QChar, QString> taken;
    QStringList clashes;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(window))
            continue;
        QString text;
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            text = button->text();
        else if (auto* label = qobject_cast<QLabel*>(widget); label && label->buddy())
            text = label->text();
        const QRegularExpressionMatch match = kMnemonic.match(text);
        if (!match.hasMatch())
            continue;
        const QChar letter = match.captured(1).at(0).toLower();
        if (taken.contains(letter))
            clashes << name + ": '" + letter + "' in " + taken[letter] + " and " + text;
        else
            taken[letter] = text;
    }
    return clashes;
}

class WindowTextsTest : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        AcceptLicence();
        m_app.SetTrayProbe([] { return false; });
        ASSERT_EQ(m_app.StartUp(Arguments()), KWMainApp::StartResult::Continue);
        m_computer = m_root / "Laptop Files";
        fs::create_directories(m_computer);
        for (const char* name : {"report.txt", "draft.doc"})
            halvex::test::WriteFile(m_computer / name, name);
        fs::create_directories(m_drive / SyncUsbFolderName());
        halvex::test::WriteFile(m_drive / SyncUsbFolderName() / "photo.jpg", "photo");
        ASSERT_TRUE(WriteComputerFolder(SyncIndexPath(m_app.Paths().DataPath()), ScrambleIdentity(ComputerIdentity()),
                                        m_computer));
        ASSERT_TRUE(halvex::ConfirmedFolders().Record(halvex::ConfirmedFolders::Use::Sync,
                                                      halvex::DriveIdentity::Of(m_app.Device()), "", m_computer));
        m_english = KXStrings::Table();
    }
    void TearDown() override
    {
        m_app.CleanUp();
        (void)KXStrings::Init(m_app.Paths().ResourcesPath());
        AppFixture::TearDown();
    }

    void LoadPseudoTable()
    {
        const fs::path file = m_root / "pseudo.strings";
        halvex::test::WriteFile(file, PseudoTable(m_english));
        ASSERT_TRUE(KXStrings::LoadStringTable(file));
    }

    std::unique_ptr<KWSetupDlg> Wizard()
    {
        fs::create_directories(m_root / "My Papers");
        KWSetupSync::Folders folders{m_root, m_root / "My Papers", m_root / "My Papers"};
        auto wizard = std::make_unique<KWSetupDlg>(
            nullptr, KXStrings::LicensePath(), folders, [](QWidget*, const fs::path&) { return std::nullopt; },
            [](QWidget*, const fs::path&) { return true; }, false);
        wizard->Start();
        return wizard;
    }

    std::unique_ptr<KWSyncDlg> SyncWindow()
    {
        auto window = std::make_unique<KWSyncDlg>(nullptr, m_app, SyncMode::Normal);
        window->SetPacing({});
        EXPECT_TRUE(window->Prepare());
        window->show();
        window->ShowDetails(true);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !window->Animating(); }));
        return window;
    }

    // Opens every window and page and hands each to the check.
    void VisitEveryWindow(TextCheck& check)
    {
        KWPelloryDlg main(m_app, false);
        main.Open();
        EXPECT_TRUE(main.MenuButton()->isVisible());
        check.Window(&main, "main");
        check.Menu(main.BuildTrayMenu(), "tray");
        for (int drop : {kCmdSyncDrop, kCmdBackupDrop}) {
            check.CatchPopup(&main, "drop menu");
            main.OnCommand(drop);
            // The guard ends, so the next drop menu opens.
            EXPECT_TRUE(QTest::qWaitFor([&] { return !main.DropGuardActive(); }, 2000));
        }
        KWAboutDlg about(&main);
        check.Window(&about, "about");

        for (bool firstRun : {true, false}) {
            KWStartupDlg welcome(nullptr, firstRun);
            check.Window(&welcome, firstRun ? "welcome first run" : "welcome again");
        }
        auto wizard = Wizard();
        check.Window(wizard.get(), "wizard licence");
        wizard->LicensePage()->findChild<QCheckBox*>()->setChecked(true);
        wizard->Next();
        check.Window(wizard.get(), "wizard sync");
        wizard->Next();
        check.Window(wizard.get(), "wizard autorun");
        KWAutoRunDlg autoRun(nullptr);
        check.Window(&autoRun, "autorun question");

        PrefsContext context{SyncPlaceOf(m_app), {}, {}, {}};
        context.autoRun.isAdministrator = [] { return false; };
        for (auto [page, name] : {std::pair{KWPrefsDlg::kGeneral, "prefs general"},
                                  {KWPrefsDlg::kSync, "prefs sync"},
                                  {KWPrefsDlg::kAdvanced, "prefs advanced"}}) {
            KWPrefsDlg prefs(nullptr, context, page);
            check.Window(&prefs, name);
        }
        KWSyncFolder chooser(nullptr, m_drive / SyncUsbFolderName(), {});
        check.Window(&chooser, "sync folder");

        auto sync = SyncWindow();
        check.Window(sync.get(), "sync");
        check.CatchPopup(sync.get(), "sync list");
        emit sync->Table()->customContextMenuRequested(QPoint(4, 4));
        KWDownloadDlg download(nullptr, {});
        check.Window(&download, "download");

        VisitBackupWindows(check);
    }

    void VisitBackupWindows(TextCheck& check)
    {
        BackupSession session(m_app.Paths().DataPath(), m_drive, 4096, "02:00:00:AA:BB:CC");
        for (int n = 0; n <= 70; ++n) {
            const std::string number = std::to_string(n);
            // Marked, but not as keys of the string tables: the backup table has its own.
            session.strings.SetLabel(n, (kOpen + "#m" + QString::fromStdString(number) + kClose).toStdString());
            session.strings.SetMessage(n, (kOpen + "#" + QString::fromStdString(number) + kClose).toStdString());
        }
        session.desktopFolder = m_root / "Desktop";
        BackupProfile profile = BackupProfile::WithDefaultLists(session.strings);
        profile.macAddress = session.identity;
        profile.sourceFolder = m_computer.string();
        profile.setName = "Work";
        profile.userCategories.push_back({"Letters", "doc:"});
        ASSERT_TRUE(session.store.ReadIndex());
        ASSERT_TRUE(session.store.Create(profile));
        session.profile = profile;

        CHalvexBackUpDialogDlg backup(nullptr, session);
        check.Window(&backup, "backup");
        KWBackupConfigureDlg configure(nullptr, session, false);
        configure.ToggleFilters();
        check.Window(&configure, "backup profile");
        KWCreateCatDlg create(nullptr, session.strings, profile, {});
        check.Window(&create, "create category");
        KWEditCatDlg edit(nullptr, session.strings, profile);
        check.Window(&edit, "edit category");
        KWRestoreChildDialog restore(nullptr, session);
        check.Window(&restore, "restore");
        KWBackupProcessDlg backupRun(nullptr, session);
        check.Window(&backupRun, "backup progress");
        KWRestoreProcessDlg restoreRun(nullptr, session, {});
        check.Window(&restoreRun, "restore progress");
        KWUpdateWaitDialog wait(nullptr, session.strings);
        check.Window(&wait, "backup wait");
    }

    QStringList DataTexts() const
    {
        // Paths and names of the test's own files and folders.
        return {QString::fromStdString(m_root.string()),
                "STICK",
                "Laptop Files",
                "My Papers",
                "Work",
                "Letters",
                "report.txt",
                "draft.doc",
                "photo.jpg",
                "doc",
                QString::fromStdString(SyncUsbFolderName()),
                QSysInfo::machineHostName()};
    }

    KWMainApp m_app;
    fs::path m_computer;
    StringTable m_english;
};

TEST_F(WindowTextsTest, EveryVisibleTextComesFromTheStringTables)
{
    LoadPseudoTable();
    TextCheck check(DataTexts());
    VisitEveryWindow(check);
    for (const QString& text : check.Unmarked())
        ADD_FAILURE() << text.toStdString();
    EXPECT_GT(check.Keys().size(), 100u) << "the walk reached the windows";
}

TEST_F(WindowTextsTest, EveryLanguageHoldsEveryKeyTheWindowsUse)
{
    LoadPseudoTable();
    TextCheck check(DataTexts());
    VisitEveryWindow(check);
    for (LanguageId language : kLanguages) {
        StringTable table;
        ASSERT_TRUE(table.Load(KXStrings::StringTablePath(language))) << language;
        for (const std::string& key : check.Keys()) {
            ASSERT_TRUE(table.Contains(key)) << KXStrings::LanguageFolderName(language) << " lacks " << key;
            const auto placeholders = [](const std::string& value) {
                QStringList found;
                auto matches = kPlaceholder.globalMatch(QString::fromStdString(value));
                while (matches.hasNext())
                    found << matches.next().captured();
                return found;
            };
            EXPECT_EQ(placeholders(table.Entries().at(key)), placeholders(m_english.Entries().at(key)))
                << KXStrings::LanguageFolderName(language) << " " << key;
        }
    }
}

// A screen reader's view of every window in every language: no control is
// silent, whatever table the names come from; and at the keyboard no two
// controls of a window answer the same Alt letter.
TEST_F(WindowTextsTest, EveryControlHasAnAccessibleNameAndNoMnemonicClashesInEveryLanguage)
{
    for (LanguageId language : kLanguages) {
        const std::string folder = KXStrings::LanguageFolderName(language);
        SCOPED_TRACE(folder);
        KXStrings::SetLanguage(language);
        ASSERT_TRUE(KXStrings::LoadStringTable(KXStrings::StringTablePath(language)));
        TextCheck check(DataTexts());
        int windows = 0;
        check.onWindow = [&](QWidget* window, const QString& name) {
            ++windows;
            for (const QString& problem : NamelessControls(window, name) + ClashingMnemonics(window, name))
                ADD_FAILURE() << folder << " " << problem.toStdString();
        };
        VisitEveryWindow(check);
        EXPECT_GT(windows, 20);
    }
    KXStrings::SetLanguage(kEnglishUS);
}

// What a window does at Escape: closes as its Cancel does, cancels its work
// (a work window stays up until the work has stopped), or nothing (the main
// window, which has no Cancel).
enum class AtEscape { Closes, CancelsWork, Stays };

struct KeyboardRow {
    const char* window;
    // The controls Tab stops at, from the one that has the focus when the
    // window opens, in the order a person reads them, by accessible name.
    QStringList tabOrder;
    AtEscape escape;
};

// How a screen reader names the control: its accessible name.
QString ControlName(QWidget* widget)
{
    if (!widget)
        return QStringLiteral("(none)");
    QAccessibleInterface* access = QAccessible::queryAccessibleInterface(widget);
    QString name = access ? access->text(QAccessible::Name).trimmed() : QString();
    if (name.isEmpty())
        return widget->metaObject()->className() + QStringLiteral(" ") + widget->objectName();
    // A field or a list often shares its name with the label or choice beside it.
    if (qobject_cast<QLineEdit*>(widget))
        return name + " field";
    if (qobject_cast<QAbstractItemView*>(widget))
        return name + " list";
    return name;
}

// Presses Tab through the window from the control that has the focus when it
// opens, until the focus comes back there; the names of the controls met.
QStringList WalkTabOrder(QWidget* window)
{
    QWidget* start = QApplication::focusWidget();
    if (!start || start->window() != window) {
        // Nothing focused yet: the first Tab enters the chain.
        QTest::keyClick(window->windowHandle(), Qt::Key_Tab);
        start = QApplication::focusWidget();
        if (!start || start->window() != window)
            return {};
    }
    QStringList names;
    QWidget* current = start;
    for (int presses = 0; presses < 40; ++presses) {
        names << ControlName(current);
        QTest::keyClick(window->windowHandle(), Qt::Key_Tab);
        current = QApplication::focusWidget();
        if (current == start || !current || current->window() != window)
            break;
    }
    return names;
}

// The controls of the window that Tab should reach: shown, enabled and taking
// the focus by Tab. A radio button counts once for its group, which Tab
// enters at its checked button and arrows walk.
QStringList ReachableControls(QWidget* window, const QStringList& walked)
{
    QStringList missed;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(window) || !widget->isEnabled() || !(widget->focusPolicy() & Qt::TabFocus) ||
            widget->focusProxy())
            continue;
        if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
            const QList<QRadioButton*> group =
                radio->parentWidget()->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly);
            if (std::any_of(group.begin(), group.end(),
                            [&](QRadioButton* other) { return walked.contains(ControlName(other)); }))
                continue;
        }
        if (!walked.contains(ControlName(widget)))
            missed << ControlName(widget);
    }
    return missed;
}

// Every window at the keyboard alone: the Tab order from the control focused
// at opening follows the window's reading order and reaches every enabled
// control, and Escape does what the window's Cancel does. The keys go through
// the window, as a person's would.
TEST_F(WindowTextsTest, TabWalksEveryWindowInReadingOrderAndEscapeCancels)
{
    // The field of the types is named by its two-line label.
    const QString kTypesField =
        "Add File Type: (Ex: doc:rtf:txt)\n(Use colon as separator to add multiple types) field";
    const std::vector<KeyboardRow> table = {
        {"main",
         {"File Sync", "File Sync: more choices", "Backup", "Backup: more choices", "Preferences", "STICK (ROOT/STICK)",
          "Halvex Home Page", "Menu", "Halvex Dravane Setup"},
         AtEscape::Stays},
        {"about", {"OK"}, AtEscape::Closes},
        {"welcome first run", {"Continue", "Exit"}, AtEscape::Closes},
        {"welcome again", {"File Sync", "Backup", "Cancel"}, AtEscape::Closes},
        {"wizard licence",
         {"License agreement", "I accept the terms of the license agreement", "Cancel"},
         AtEscape::Closes},
        {"wizard sync", {"Desktop", "Yes", "< Back", "Next >", "Cancel"}, AtEscape::Closes},
        {"wizard autorun", {"Finish", "Cancel", "< Back"}, AtEscape::Closes},
        {"autorun question", {"Yes", "No", "Do not ask me again"}, AtEscape::Closes},
        {"prefs general",
         {"Settings pages list", "Show the main window when Halvex Dravane starts",
          "Check for updates automatically when Halvex Dravane starts", "OK", "Cancel"},
         AtEscape::Closes},
        {"prefs sync",
         {"Settings pages list", "Keep a log of every sync", "Include subfolders when synchronizing",
          "Sync folder on this computer field", "Browse...", "OK", "Cancel"},
         AtEscape::Closes},
        {"prefs advanced",
         {"Settings pages list", "Offer automatic start when Halvex Dravane starts on a new computer",
          "Drives that start Halvex Dravane without asking list", "OK", "Cancel"},
         AtEscape::Closes},
        {"sync",
         {"STICK", "Sync", "HOST", "Show Details", "Hide Details", "Files to synchronize list",
          "Compare the folders again"},
         AtEscape::Closes},
        {"download", {"Cancel"}, AtEscape::CancelsWork},
        {"backup",
         {"Select profile list", "Create profile", "Edit profile", "Delete profile", "Backup", "Restore", "Cancel"},
         AtEscape::Closes},
        {"backup profile",
         {"Profile Name field", "Select folder to backup field", "Browse...", "Categories list", "Create", "Edit",
          "Hide Filters", "Files to back up list", "Save", "Cancel"},
         AtEscape::Closes},
        {"create category",
         {"Category Name field", kTypesField, "Included File Types list", "Save", "Cancel"},
         AtEscape::Closes},
        {"edit category",
         {"Letters", kTypesField, "Included File Types list", "Remove file type", "Delete", "Save", "Cancel"},
         AtEscape::Closes},
        {"restore",
         {"Backups list", "Backed-up files list", "Desktop", "Other Location field", "Cancel"},
         AtEscape::Closes},
        {"backup progress", {}, AtEscape::CancelsWork},
        {"restore progress", {}, AtEscape::CancelsWork},
        {"backup wait", {}, AtEscape::CancelsWork},
        {"sync wait", {"Cancel"}, AtEscape::CancelsWork},
        {"question", {"No", "Cancel", "Yes"}, AtEscape::Closes},
    };
    const auto rowOf = [&](const QString& name) -> const KeyboardRow* {
        for (const KeyboardRow& row : table)
            if (name == row.window)
                return &row;
        return nullptr;
    };
    QStringList tried;
    const auto tryWindow = [&](QWidget* window, const QString& name) {
        const KeyboardRow* row = rowOf(name);
        if (!row)
            return;  // the sync folder chooser asks first: its own test presses Return at the question
        SCOPED_TRACE(name.toStdString());
        tried << name;
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window, 1000))
            return ADD_FAILURE() << "did not become active";
        QStringList walked = WalkTabOrder(window);
        EXPECT_EQ(ReachableControls(window, walked).join(" | ").toStdString(), "") << "not reached by Tab";
        // The test's folders and this computer's name are data, not wording.
        walked.replaceInStrings(QString::fromStdString(m_root.string()), "ROOT");
        for (QString& control : walked)
            if (control == QSysInfo::machineHostName())
                control = "HOST";
        EXPECT_EQ(walked.join(" | ").toStdString(), row->tabOrder.join(" | ").toStdString());

        QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
        auto* dialog = qobject_cast<QDialog*>(window);
        switch (row->escape) {
        case AtEscape::Stays: EXPECT_TRUE(window->isVisible()); break;
        case AtEscape::Closes:
            EXPECT_FALSE(window->isVisible());
            ASSERT_TRUE(dialog);
            EXPECT_EQ(dialog->result(), QDialog::Rejected);
            break;
        case AtEscape::CancelsWork: {
            // Before its work has begun the window closes at once.
            auto* work = qobject_cast<DWWorkDlg*>(window);
            ASSERT_TRUE(work);
            EXPECT_TRUE(work->IsCancelled() || !window->isVisible());
            break;
        }
        }
        window->hide();
    };
    TextCheck check(DataTexts());
    check.onWindow = tryWindow;
    VisitEveryWindow(check);

    DWWaitDlg wait(nullptr, TextOr("sync_wait_title"), TextOr("sync_wipe_usb_msg"));
    tryWindow(&wait, "sync wait");
    QTimer::singleShot(0, [&] {
        if (QWidget* box = QApplication::activeModalWidget(); box && box->objectName() == "KWMsgBox")
            tryWindow(box, "question");
    });
    KWMsgBox::Show(nullptr, QStringLiteral("Delete?"), KWMsgBox::kCaution, KWMsgBox::kYesNoCancel, KWMsgBox::kIdNo);

    for (const KeyboardRow& row : table)
        EXPECT_TRUE(tried.contains(row.window)) << row.window << " was not opened";
}

TEST_F(WindowTextsTest, ScreenshotsOfTheWindowsInEveryLanguage)
{
    const auto shoot = [](QWidget& window, const std::string& name) { SaveScreenshot(window, name + ".png"); };
    for (LanguageId language : kLanguages) {
        const std::string folder = KXStrings::LanguageFolderName(language);
        KXStrings::SetLanguage(language);
        ASSERT_TRUE(KXStrings::LoadStringTable(KXStrings::StringTablePath(language))) << folder;
        KWPelloryDlg main(m_app, false);
        main.Open();
        shoot(main, "main_window_" + folder);
        auto sync = SyncWindow();
        shoot(*sync, "sync_window_" + folder);
        auto wizard = Wizard();
        shoot(*wizard, "wizard_licence_" + folder);
        wizard->LicensePage()->findChild<QCheckBox*>()->setChecked(true);
        wizard->Next();
        shoot(*wizard, "wizard_sync_" + folder);
        wizard->Next();
        shoot(*wizard, "wizard_autorun_" + folder);
        KWStartupDlg welcome(nullptr, true);
        shoot(welcome, "welcome_" + folder);
        PrefsContext context{SyncPlaceOf(m_app), {}, {}, {}};
        for (auto page : {KWPrefsDlg::kGeneral, KWPrefsDlg::kSync, KWPrefsDlg::kAdvanced}) {
            KWPrefsDlg prefs(nullptr, context, page);
            shoot(prefs, "prefs_" + std::to_string(page) + "_" + folder);
        }
        BackupSession session(m_app.Paths().DataPath(), m_drive, 4096, "02:00:00:AA:BB:CC");
        ASSERT_TRUE(session.strings.Load(KXStrings::LanguageFolderPath() / "BackupRestore.plist"));
        CHalvexBackUpDialogDlg backup(nullptr, session);
        shoot(backup, "backup_window_" + folder);
        KWBackupConfigureDlg configure(nullptr, session, true);
        configure.ToggleFilters();
        shoot(configure, "backup_configure_" + folder);
        KWRestoreChildDialog restore(nullptr, session);
        shoot(restore, "restore_window_" + folder);
    }
    KXStrings::SetLanguage(kEnglishUS);
}

}  // namespace
