// The drive's launcher, run by sh as a user runs it, with two drives that
// share this user's cache of copied programs: each drive starts from its own
// copy, an update replaces only that drive's older copy, and a copy that a
// running suite uses stays until it ends.

#include <signal.h>

#include <gtest/gtest.h>

#include <set>

#include "../support/ShellCommand.h"
#include "TestFiles.h"
#include "WaitUntil.h"

namespace {

namespace fs = std::filesystem;
using halvex::test::ReadFile;
using halvex::test::RunShell;
using halvex::test::ShellQuoted;
using halvex::test::TempFolder;
using halvex::test::WriteFile;

const fs::path kLinux = "HalvexDravane.app/Contents/Linux";

class DriveLauncherTest : public ::testing::Test {
protected:
    // A drive folder whose "dravane" says which drive and version it is, and
    // with "stay" as its argument stays until the test lets it end.
    void Put(const std::string& drive, int version)
    {
        const fs::path linux = m_root / drive / kLinux;
        WriteFile(linux / "VERSION", "1.0." + std::to_string(version));
        WriteFile(linux / "NAME", drive);
        WriteFile(linux / "dravane", "#!/bin/sh\necho " + drive + " " + std::to_string(version) +
                                         "\nif [ \"$3\" = stay ]; then : > \"$STAY_MARK\"; "
                                         "while [ -e \"$STAY_MARK\" ]; do sleep 0.05; done; fi\n");
        fs::copy_file(fs::path(HALVEX_SOURCE_DIR) / "scripts/drive/HalvexDravane.sh",
                      m_root / drive / "HalvexDravane.sh", fs::copy_options::overwrite_existing);
    }

    std::string Command(const std::string& drive, const std::string& argument) const
    {
        return "XDG_CACHE_HOME=" + ShellQuoted(m_cache.string()) + " STAY_MARK=" + ShellQuoted(m_stay.string()) +
               " sh " + ShellQuoted((m_root / drive / "HalvexDravane.sh").string()) + " --cli " + argument;
    }

    // The cached copies, each as the drive and version it holds.
    std::set<std::string> Copies() const
    {
        std::set<std::string> copies;
        for (const auto& entry : fs::directory_iterator(m_cache / "halvex-dravane"))
            copies.insert(ReadFile(entry.path() / "NAME") + " " + ReadFile(entry.path() / "VERSION"));
        return copies;
    }

    TempFolder m_root{"launcher"};
    fs::path m_cache = m_root / "cache";
    fs::path m_stay = m_root / "staying";
};

TEST_F(DriveLauncherTest, EachDriveKeepsItsOwnCopyAndACopyInUseStays)
{
    enum class Act { Start, StartAndStay, Update, LetEnd };
    const struct {
        const char* drive;
        Act act;
        int version;  // for Update
        const char* said;
        std::set<std::string> copies;
    } steps[] = {
        {"A", Act::Start, 0, "A 1\n", {"A 1.0.1"}},
        {"B", Act::Start, 0, "B 1\n", {"A 1.0.1", "B 1.0.1"}},
        {"A", Act::Start, 0, "A 1\n", {"A 1.0.1", "B 1.0.1"}},
        // Another drive's older copy is not this drive's to remove.
        {"A", Act::Update, 2, "A 2\n", {"A 1.0.2", "B 1.0.1"}},
        {"B", Act::Start, 0, "B 1\n", {"A 1.0.2", "B 1.0.1"}},
        {"A", Act::StartAndStay, 0, nullptr, {"A 1.0.2", "B 1.0.1"}},
        {"A", Act::Update, 3, "A 3\n", {"A 1.0.2", "A 1.0.3", "B 1.0.1"}},
        {"A", Act::LetEnd, 0, nullptr, {"A 1.0.2", "A 1.0.3", "B 1.0.1"}},
        {"A", Act::Start, 0, "A 3\n", {"A 1.0.3", "B 1.0.1"}},
        {"B", Act::Update, 2, "B 2\n", {"A 1.0.3", "B 1.0.2"}},
    };
    Put("A", 1);
    Put("B", 1);
    FILE* staying = nullptr;
    int step = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(testing::Message() << "step " << step++ << ": " << s.drive);
        switch (s.act) {
        case Act::StartAndStay:
            staying = ::popen(Command(s.drive, "stay").c_str(), "r");
            ASSERT_NE(staying, nullptr);
            ASSERT_TRUE(halvex::test::WaitUntil([&] { return fs::exists(m_stay); }));
            break;
        case Act::LetEnd:
            fs::remove(m_stay);
            ASSERT_NE(staying, nullptr);
            EXPECT_EQ(::pclose(staying), 0);
            staying = nullptr;
            break;
        case Act::Update: Put(s.drive, s.version); [[fallthrough]];
        case Act::Start: {
            const halvex::test::ShellOutput run = RunShell(Command(s.drive, "start"));
            EXPECT_EQ(run.status, 0);
            EXPECT_EQ(run.out, s.said);
            break;
        }
        }
        EXPECT_EQ(Copies(), s.copies);
    }
    if (staying != nullptr) {
        fs::remove(m_stay);
        ::pclose(staying);
    }
    // Only the launchers were written to on the drives.
    for (const char* drive : {"A", "B"})
        for (const auto& entry : fs::recursive_directory_iterator(m_root / drive))
            EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << entry.path();
}

}  // namespace
