// Damaged files on the drive, end to end through `dravane`: each file the
// suite reads is cut short, filled with garbage or emptied on a drive that was
// in good order, and the command that reads it must give its fallback or a
// clear message, exit normally, and leave the user's files as they were.
// The theme file, which only the windows read, is checked through its class.

#include <gtest/gtest.h>

#include <cctype>
#include <tuple>

#include "FaultTestSupport.h"
#include "backup/BackupProfile.h"
#include "backup/BackupStrings.h"
#include "strings/KXTheme.h"

using namespace faults;

namespace {

enum class Damage { Truncated, Garbage, Empty };

const char* DamageName(Damage damage)
{
    switch (damage) {
    case Damage::Truncated: return "truncated";
    case Damage::Garbage: return "garbage";
    case Damage::Empty: return "empty";
    }
    return "?";
}

// Bytes no reader of the suite can make sense of: control characters, a
// stray NUL, broken UTF-8 and the start of markup that never closes.
std::string GarbageBytes()
{
    using namespace std::string_literals;  // the NUL and what follows it belong to the bytes
    std::string bytes = "\x89PNG\r\n\x1a\n<plist><dict><key>\xff\xfe\0\x01\x02\"\" = \""s;
    bytes += NoiseBytes(3000, 11);
    return bytes;
}

void DamageFile(const fs::path& file, Damage damage, std::size_t keep)
{
    const std::string content = ReadFile(file);
    switch (damage) {
    case Damage::Truncated:
        WriteFile(file, content.substr(0, keep ? std::min(keep, content.size()) : content.size() / 2));
        break;
    case Damage::Garbage: WriteFile(file, GarbageBytes()); break;
    case Damage::Empty: WriteFile(file, ""); break;
    }
}

struct Outcome {
    int code = -1;
    std::string text;  // standard output and error together
};

// A drive in good order: the suite's resources of its own (so their files
// can be damaged), a sync pair with subfolders on, a profile and one backup.
class DamagedInputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(ProgramPath("dravane")))
            FAIL() << "dravane is not built in " << HALVEX_PROGRAM_DIR;
        fs::create_directories(runtime);
        fs::create_directories(output);
        fs::permissions(runtime, fs::perms::owner_all);
        fs::create_directories(resources.parent_path());
        fs::copy(fs::path(HALVEX_PROGRAM_DIR).parent_path() / "Resources", resources, fs::copy_options::recursive);

        WriteFile(computer / "top.txt", "top", 1'600'000'000);
        WriteFile(computer / "zz.txt", "zz", 1'600'000'000);
        WriteFile(computer / "sub" / "deep.txt", "deep", 1'600'000'000);
        WriteFile(drive / "photo.jpg", "from the drive", 1'600'000'000);
        Expect(Dravane({"sync", "--computer-folder", computer.string(), "--subfolders", "--list"}), 0);
        Expect(Dravane({"profile", "create", "--set", "Set", "--source", computer.string(), "--category", "All"}), 0);
        Expect(Dravane({"backup"}), 0);
        ASSERT_TRUE(fs::exists(set / "Current Backup" / "top.txt.zip"));
    }

    void Expect(const Outcome& outcome, int code) { ASSERT_EQ(outcome.code, code) << outcome.text; }

    Outcome Dravane(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), {ProgramPath("dravane").string(), "--run-path", run.string()});
        Child child(arguments, {"HALVEX_ASSUME_USB=1", "LC_ALL=C", "LANG=C", "XDG_RUNTIME_DIR=" + runtime.string()},
                    output);
        Outcome result;
        result.code = child.ExitCode();
        result.text = child.Out() + child.Err();
        return result;
    }

    // The user's files on both sides, as the drive was prepared.
    void ExpectUserFilesUntouched()
    {
        EXPECT_EQ(ReadFile(computer / "top.txt"), "top");
        EXPECT_EQ(ReadFile(computer / "sub" / "deep.txt"), "deep");
        EXPECT_EQ(ReadFile(drive / "photo.jpg"), "from the drive");
        EXPECT_TRUE(fs::exists(set / "Current Backup" / "zz.txt.zip"));
    }

    TempFolder tmp;
    fs::path run = tmp / "run";
    fs::path resources = tmp / "run" / "HalvexDravane.app" / "Contents" / "Resources";
    fs::path data = tmp / "run" / "Halvex Data";
    fs::path drive = tmp / "run" / "Sync Folder";
    fs::path set = tmp / "run" / "Backup" / "Set";
    fs::path computer = tmp / "computer";
    fs::path runtime = tmp / "runtime";
    fs::path output = tmp / "output";
};

struct Row {
    const char* input;
    const char* file;                  // below the run path
    std::size_t keep;                  // bytes a truncation keeps; 0: half
    std::vector<std::string> command;  // "{out}" and "{computer}" stand for the test's folders
    int code;                          // the exit status expected
    const char* expected;              // a text the output must hold
    const char* forbidden;             // a text it must not hold ("" for none)
};

const Row kRows[] = {
    // Preferences: the defaults, so subfolders are off again.
    {"preference file",
     "Halvex Data/com.halvex.dravane.plist",
     0,
     {"sync", "--list"},
     0,
     "to-drive\ttop.txt",
     "sub/deep.txt"},
    // Sync index: no folder chosen for this computer; nothing is copied.
    {"sync index",
     "Halvex Data/com.halvex.dravane.sync.plist",
     0,
     {"sync"},
     2,
     "No sync folder has been chosen for this computer yet",
     "synchronized"},
    // A profile that cannot be read: message 14, nothing written.
    {"profile",
     "Halvex Data/com.halvex.pellory.backup.profile1.plist",
     0,
     {"backup"},
     2,
     "Can't obtain valid user settings",
     "stored"},
    // The profile index is rebuilt; the profile it lost stays listed.
    {"profile index", "Halvex Data/com.halvex.pellory.backup.plist", 0, {"profile", "list"}, 0, "1\tSet\t", ""},
    // The information file of the set (two bytes are too short to be a
    // path): message 49, nothing restored.
    {"info.ini",
     "Backup/Set/info.ini",
     2,
     {"restore", "--set", "Set", "--original", "--overwrite", "yes"},
     2,
     "Invalid ini file for this BackupSet",
     "Restore procedure completed"},
    // An archive: the error names it and the restore stops there.
    {"archive",
     "Backup/Set/Current Backup/top.txt.zip",
     0,
     {"restore", "--set", "Set", "--to", "{out}", "--overwrite", "yes"},
     2,
     "Error copying file \"",
     "completed"},
    // The string table: start-up fails with its message (cut inside the
    // comment that documents the keys, whatever the table grows to; a cut
    // among the entries is checked on its own below).
    {"string table",
     "HalvexDravane.app/Contents/Resources/English.lproj/Localizable.strings",
     4000,
     {"sync", "--list"},
     2,
     "required resource files can not be loaded",
     "to-"},
    // The backup string table: the built-in English texts.
    {"backup string table",
     "HalvexDravane.app/Contents/Resources/English.lproj/BackupRestore.plist",
     0,
     {"profile", "create", "--set", "", "--source", "{computer}"},
     2,
     "Please enter valid Backup Set name",
     ""},
};

// How the cases read in test names and failures.
void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.input;
}
void PrintTo(Damage damage, std::ostream* out)
{
    *out << DamageName(damage);
}

class DamagedFileTest : public DamagedInputTest, public ::testing::WithParamInterface<std::tuple<Row, Damage>> {};

std::string CaseName(const ::testing::TestParamInfo<std::tuple<Row, Damage>>& info)
{
    std::string name = std::string(std::get<0>(info.param).input) + "_" + DamageName(std::get<1>(info.param));
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

}  // namespace

TEST_P(DamagedFileTest, GivesItsFallbackOrAClearMessage)
{
    const auto& [row, damage] = GetParam();
    const fs::path out = tmp / "restored";
    WriteFile(out / "top.txt", "mine", 1'500'000'000);
    std::vector<std::string> command = row.command;
    for (std::string& argument : command) {
        if (argument == "{out}")
            argument = out.string();
        else if (argument == "{computer}")
            argument = computer.string();
    }

    DamageFile(run / row.file, damage, row.keep);
    const Outcome result = Dravane(command);
    EXPECT_GE(result.code, 0) << "ended by a signal: " << result.text;
    EXPECT_EQ(result.code, row.code) << result.text;
    EXPECT_NE(result.text.find(row.expected), std::string::npos) << result.text;
    if (*row.forbidden != '\0') {
        EXPECT_EQ(result.text.find(row.forbidden), std::string::npos) << result.text;
    }
    ExpectUserFilesUntouched();
    EXPECT_EQ(ReadFile(out / "top.txt"), "mine") << "a file a failed restore would replace stays";
    EXPECT_TRUE(NamesStartingWith(out, ".").empty());
    EXPECT_TRUE(CopyLeftovers(run).empty());
}

INSTANTIATE_TEST_SUITE_P(Inputs, DamagedFileTest,
                         ::testing::Combine(::testing::ValuesIn(kRows),
                                            ::testing::Values(Damage::Truncated, Damage::Garbage, Damage::Empty)),
                         CaseName);

// A string table cut short among its entries still starts the suite; the
// texts past the cut fall back, and the drive's sync folder, whose name is
// one of them, is the one it always was.
TEST_F(DamagedInputTest, StringTableCutAmongItsEntries)
{
    const fs::path table = resources / "English.lproj" / "Localizable.strings";
    const std::size_t cut = ReadFile(table).find("\"sync_folder_usb\"");
    ASSERT_NE(cut, std::string::npos);
    DamageFile(table, Damage::Truncated, cut + 10);
    const Outcome result = Dravane({"sync", "--list"});
    EXPECT_EQ(result.code, 0) << result.text;
    EXPECT_NE(result.text.find("to-computer\tphoto.jpg"), std::string::npos) << result.text;
    EXPECT_NE(result.text.find("to-drive\tsub/deep.txt"), std::string::npos) << result.text;
    ExpectUserFilesUntouched();
}

// The profile index lost: the profiles on the drive are kept and a new one
// is numbered above them, never written over one of them.
TEST_F(DamagedInputTest, ANewProfileAfterALostIndexOverwritesNone)
{
    const fs::path first = data / "com.halvex.pellory.backup.profile1.plist";
    const std::string kept = ReadFile(first);
    WriteFile(data / "com.halvex.pellory.backup.plist", GarbageBytes());
    const Outcome created =
        Dravane({"profile", "create", "--set", "Other", "--source", computer.string(), "--category", "Document"});
    ASSERT_EQ(created.code, 0) << created.text;
    EXPECT_NE(created.text.find("* 2\tOther"), std::string::npos) << created.text;
    EXPECT_EQ(ReadFile(first), kept);
    const Outcome listed = Dravane({"profile", "list"});
    EXPECT_NE(listed.text.find("1\tSet\t"), std::string::npos) << listed.text;
    EXPECT_NE(listed.text.find("* 2\tOther\t"), std::string::npos) << listed.text;
}

// The sync index cut short in the middle of this computer's entry must not
// yield part of a path, nor anything at all for the other computer.
TEST_F(DamagedInputTest, ASyncIndexCutShortNamesNoFolder)
{
    const fs::path index = data / "com.halvex.dravane.sync.plist";
    const std::string whole = ReadFile(index);
    const std::size_t path = whole.find(computer.string());
    ASSERT_NE(path, std::string::npos) << whole;
    for (const std::size_t cut : {path + 3, path + computer.string().size() - 2, whole.size() - 3}) {
        SCOPED_TRACE(cut);
        WriteFile(index, whole.substr(0, cut));
        const Outcome result = Dravane({"sync", "--list"});
        EXPECT_EQ(result.code, 2) << result.text;
        EXPECT_NE(result.text.find("No sync folder has been chosen"), std::string::npos) << result.text;
    }
    WriteFile(index, whole);
    EXPECT_EQ(Dravane({"sync", "--list"}).code, 0);
}

TEST(DamagedTheme, DefaultsStandForAnUnreadableThemeFile)
{
    TempFolder folder;
    const std::string good =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
        "<key>Leopard</key><false/>\n<key>WindowFrameDark</key><string>10,20,30</string>\n"
        "<key>WindowShadow</key><false/>\n</dict>\n</plist>\n";
    const fs::path file = folder / KXTheme::kFileName;
    WriteFile(file, good);
    KXTheme control;
    ASSERT_TRUE(control.LoadFile(file));
    ASSERT_FALSE(control.Leopard());
    ASSERT_EQ(control.GetColour(KXTheme::kFrameDark), KXTheme::MakeColour(10, 20, 30));

    for (const Damage damage : {Damage::Truncated, Damage::Garbage, Damage::Empty}) {
        SCOPED_TRACE(DamageName(damage));
        WriteFile(file, good);
        DamageFile(file, damage, good.find("</string>"));
        KXTheme theme;
        EXPECT_FALSE(theme.LoadFile(file));
        EXPECT_TRUE(theme.Leopard());
        EXPECT_TRUE(theme.WindowShadow());
        for (const char* key : {KXTheme::kFrameLight, KXTheme::kFrameMid, KXTheme::kFrameDark})
            EXPECT_EQ(theme.GetColour(key), KXTheme::kWhite) << key;
        EXPECT_EQ(theme.UsbColour(), *KXTheme::ParseColour(KXTheme::kUsbColourDefault));
        EXPECT_EQ(theme.LocalColour(), *KXTheme::ParseColour(KXTheme::kLocalColourDefault));
    }
}

// A profile's set name edited on the drive to lead out of "Backup": the real
// dravane, told yes to every question, deletes and writes nothing outside it.
TEST_F(DamagedInputTest, ASetNameLeadingOutOfTheBackupFolderIsNeverUsed)
{
    const fs::path file = data / "com.halvex.pellory.backup.profile1.plist";
    WriteFile(tmp / "outside" / "keep.txt", "keep", 1'600'000'000);
    for (const std::string& name :
         {std::string(".."), std::string("../../x"), (tmp / "outside").string(), std::string()}) {
        halvex::Result<halvex::BackupProfile> read = halvex::ReadProfileFile(file, halvex::BackupStrings::BuiltIn());
        ASSERT_TRUE(read);
        halvex::BackupProfile profile = std::move(read).value();
        profile.setName = name;
        ASSERT_TRUE(halvex::WriteProfileFile(file, profile));
        EXPECT_EQ(Dravane({"--yes", "profile", "delete", "1"}).code, 2) << name;
        EXPECT_EQ(Dravane({"backup"}).code, 2) << name;
        EXPECT_EQ(Dravane({"restore", "--set", name, "--original"}).code, 2) << name;
        EXPECT_EQ(ReadFile(tmp / "outside" / "keep.txt"), "keep");
        EXPECT_FALSE(fs::exists(tmp / "x"));
        EXPECT_TRUE(fs::exists(file));
        ExpectUserFilesUntouched();
    }
    // Named right again, the same command deletes the set, and only it.
    halvex::Result<halvex::BackupProfile> read = halvex::ReadProfileFile(file, halvex::BackupStrings::BuiltIn());
    ASSERT_TRUE(read);
    halvex::BackupProfile profile = std::move(read).value();
    profile.setName = "Set";
    ASSERT_TRUE(halvex::WriteProfileFile(file, profile));
    const Outcome deleted = Dravane({"--yes", "profile", "delete", "1"});
    EXPECT_EQ(deleted.code, 0) << deleted.text;
    EXPECT_FALSE(fs::exists(set));
    EXPECT_EQ(ReadFile(drive / "photo.jpg"), "from the drive");
}
