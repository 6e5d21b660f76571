// The Updater and the drive's launcher settle or install on a drive folder
// whose own folders may be links to folders of this computer (ext4 holds
// links): whatever the drive's journal or layout names, nothing outside the
// drive changes, and an ordinary unfinished update is still settled.

#include <gtest/gtest.h>

#include <map>

#include "../support/ShellCommand.h"
#include "../update/UpdateTestSupport.h"

namespace {

namespace fs = std::filesystem;
using halvex::test::MakeZip;
using halvex::test::ReadFile;
using halvex::test::RunShell;
using halvex::test::ShellQuoted;
using halvex::test::TempFolder;
using halvex::test::WriteFile;

const fs::path kResources = "HalvexDravane.app/Contents/Resources";
const fs::path kLinux = "HalvexDravane.app/Contents/Linux";

// Every entry below a folder: a file's text, a link's target, "/" for a folder.
std::map<std::string, std::string> TreeOf(const fs::path& folder)
{
    std::map<std::string, std::string> tree;
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::end(it); ++it) {
        const std::string name = it->path().lexically_relative(folder).generic_string();
        if (it->is_symlink())
            tree[name] = "-> " + fs::read_symlink(it->path()).string();
        else if (it->is_regular_file())
            tree[name] = ReadFile(it->path());
        else
            tree[name] = "/";
    }
    return tree;
}

enum class Settler { Updater, Launcher };

// A drive folder with the suite (its "dravane" a script that says it ran),
// this user's home beside it with the files a link could lead to, and a
// package that changes one resource and adds one.
class DriveLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        WriteFile(m_drive / kLinux / "dravane", "#!/bin/sh\necho dravane ran\n");
        WriteFile(m_drive / kLinux / "HalvexDravane", "#!/bin/sh\n");
        WriteFile(m_drive / kResources / "old.txt", "N");
        WriteFile(m_home / "Documents/thesis.odt", "the user's thesis");
        WriteFile(m_home / "Documents/report.odt", "the user's report");
        WriteFile(m_home / "Documents/.halvex-old-report.odt", "planted over the report");
        WriteFile(m_home / "Documents/.halvex-old-notes.odt", "the user's hidden notes");
        WriteFile(m_home / "Resources/old.txt", "the user's old.txt");
        WriteFile(m_work / "old.txt", "N+1");
        WriteFile(m_work / "added.txt", "added");
        // The drive lists the publisher's key; the same listing behind the
        // linked Resources lets the install reach its link check.
        const std::string listing = halvex::test::ConfigurationListing({m_signer.PublicKey()});
        WriteFile(m_drive / kResources / "Configuration.plist", listing);
        WriteFile(m_home / "Resources/Configuration.plist", listing);
        // A failed install removes its package and the package's folder.
        fs::create_directories(m_package.parent_path());
        ASSERT_TRUE(
            MakeZip(m_package, {"HalvexDravane.app/Contents/Resources/old.txt=" + (m_work / "old.txt").string(),
                                "HalvexDravane.app/Contents/Resources/added.txt=" + (m_work / "added.txt").string()}));
    }

    void Journal(const std::string& state, const std::string& lines)
    {
        WriteFile(m_drive / ".halvex-update-journal", "halvex-update 1\npid 0\nstate " + state + "\n" + lines);
    }

    // The settler's exit status and everything it wrote.
    halvex::test::ShellOutput Settle(Settler settler)
    {
        const std::string environment = "XDG_CACHE_HOME=" + ShellQuoted((m_work / "cache").string()) + " ";
        if (settler == Settler::Launcher) {
            fs::copy_file(fs::path(HALVEX_SOURCE_DIR) / "scripts/drive/HalvexDravane.sh", m_drive / "HalvexDravane.sh");
            return RunShell(environment + "sh " + ShellQuoted((m_drive / "HalvexDravane.sh").string()) + " --cli 2>&1");
        }
        // A process that has already ended stands for the suite that quit.
        return RunShell(environment + "true & pid=$!; wait $pid; " +
                        ShellQuoted(std::string(HALVEX_PROGRAM_DIR) + "/Updater") + " -pid $pid -name Pellory -cur " +
                        ShellQuoted((m_drive / "HalvexDravane.app").string()) + " -zip " +
                        ShellQuoted(m_package.string()) + " -ver 9.0.0 -sig " +
                        ShellQuoted(m_signer.SignPackage(m_package, "9.0.0")) + " -silent 1 2>&1");
    }

    const halvex::test::UpdateSigner m_signer;
    TempFolder m_root{"drivelink"};
    fs::path m_drive = m_root / "drive";
    fs::path m_home = m_root / "home";
    TempFolder m_work, m_temp;
    fs::path m_package = m_temp / "Dravane-1.1.zip";
};

TEST_F(DriveLinkTest, NothingOutsideTheDriveChangesThroughItsLinks)
{
    enum class Layout { DocsLinkReplacing, DocsLinkDone, LinkedResources, Ordinary };
    const struct {
        const char* name;
        Layout layout;
        Settler settler;
        bool settled;      // the settler ends well and the journal is gone
        const char* says;  // on failure: what it says
    } cases[] = {
        {"journal through docs, Updater", Layout::DocsLinkReplacing, Settler::Updater, false,
         "a link on the drive, not followed"},
        {"journal through docs, launcher", Layout::DocsLinkReplacing, Settler::Launcher, false, "is a link"},
        {"finished journal through docs, Updater", Layout::DocsLinkDone, Settler::Updater, false,
         "a link on the drive, not followed"},
        {"finished journal through docs, launcher", Layout::DocsLinkDone, Settler::Launcher, false, "is a link"},
        {"linked Contents/Resources, Updater", Layout::LinkedResources, Settler::Updater, false,
         "a link on the drive, not followed"},
        {"interrupted update, Updater", Layout::Ordinary, Settler::Updater, true, nullptr},
        {"interrupted update, launcher", Layout::Ordinary, Settler::Launcher, true, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(m_drive);
        fs::remove_all(m_work / "cache");
        SetUp();
        switch (c.layout) {
        case Layout::DocsLinkReplacing:
            fs::create_directory_symlink(m_home / "Documents", m_drive / "docs");
            Journal("replacing", "A docs/thesis.odt\nE docs/report.odt\n");
            break;
        case Layout::DocsLinkDone:
            fs::create_directory_symlink(m_home / "Documents", m_drive / "docs");
            Journal("done", "E docs/notes.odt\n");
            break;
        case Layout::LinkedResources:
            fs::remove_all(m_drive / kResources);
            fs::create_directory_symlink(m_home / "Resources", m_drive / kResources);
            break;
        case Layout::Ordinary:
            // Killed amid the swaps: old.txt already new, its old text set aside.
            WriteFile(m_drive / kResources / "old.txt", "N+1");
            WriteFile(m_drive / kResources / ".halvex-old-old.txt", "N");
            Journal("replacing", "E HalvexDravane.app/Contents/Resources/old.txt\n");
            break;
        }
        const auto home = TreeOf(m_home);
        const auto drive = TreeOf(m_drive);

        const halvex::test::ShellOutput run = Settle(c.settler);

        EXPECT_EQ(TreeOf(m_home), home);
        if (!c.settled) {
            EXPECT_NE(run.status, 0) << run.out;
            EXPECT_NE(run.out.find(c.says), std::string::npos) << run.out;
            EXPECT_EQ(run.out.find("dravane ran"), std::string::npos) << run.out;
            auto expected = drive;
            if (c.settler == Settler::Launcher)
                expected["HalvexDravane.sh"] = ReadFile(m_drive / "HalvexDravane.sh");
            EXPECT_EQ(TreeOf(m_drive), expected);
            continue;
        }
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_FALSE(fs::exists(m_drive / ".halvex-update-journal"));
        EXPECT_FALSE(fs::exists(m_drive / kResources / ".halvex-old-old.txt"));
        if (c.settler == Settler::Launcher) {
            EXPECT_EQ(run.out, "dravane ran\n");
            EXPECT_EQ(ReadFile(m_drive / kResources / "old.txt"), "N");
        } else {
            // Settled back to N, then installed whole.
            EXPECT_EQ(ReadFile(m_drive / kResources / "old.txt"), "N+1");
            EXPECT_EQ(ReadFile(m_drive / kResources / "added.txt"), "added");
        }
    }
}

}  // namespace
