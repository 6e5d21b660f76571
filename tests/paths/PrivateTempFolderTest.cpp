#include "paths/PrivateTempFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include "TestFolder.h"

namespace fs = std::filesystem;
using halvex::PrivateTempFolderFrom;
using halvex::TempFolderSources;

class PrivateTempFolderTest : public TestFolder {
protected:
    TempFolderSources Sources(std::string runtimeDir = {}) const
    {
        return TempFolderSources{std::move(runtimeDir), Root().string(), ::geteuid()};
    }
    fs::path Expected() const { return Root() / ("halvex-" + std::to_string(::geteuid())); }
    static mode_t Mode(const fs::path& path)
    {
        struct stat st {};
        EXPECT_EQ(::lstat(path.c_str(), &st), 0);
        return st.st_mode & 07777;
    }
};

TEST_F(PrivateTempFolderTest, CreatesAFolderOnlyTheUserCanEnter)
{
    const mode_t previous = ::umask(0);
    fs::path folder;
    const halvex::Status status = PrivateTempFolderFrom(Sources(), folder);
    ::umask(previous);
    ASSERT_TRUE(status) << status.detail;
    EXPECT_EQ(folder, Expected());
    EXPECT_EQ(Mode(folder), 0700u);

    // A second start reuses it.
    fs::path again;
    ASSERT_TRUE(PrivateTempFolderFrom(Sources(), again));
    EXPECT_EQ(again, folder);
}

TEST_F(PrivateTempFolderTest, PrivateRuntimeFolderIsUsedAsItIs)
{
    const fs::path runtime = Root() / "run";
    ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
    fs::path folder;
    ASSERT_TRUE(PrivateTempFolderFrom(Sources(runtime.string()), folder));
    EXPECT_EQ(folder, runtime);
    EXPECT_FALSE(fs::exists(Expected()));
}

TEST_F(PrivateTempFolderTest, UntrustworthyRuntimeFolderIsPassedOver)
{
    const fs::path open = Root() / "open";
    ASSERT_EQ(::mkdir(open.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(open.c_str(), 0777), 0);
    const fs::path link = Root() / "link";
    const fs::path target = Root() / "target";
    ASSERT_EQ(::mkdir(target.c_str(), 0700), 0);
    fs::create_directory_symlink(target, link);

    for (const std::string& runtime :
         {open.string(), link.string(), std::string("relative/run"), (Root() / "missing").string()}) {
        SCOPED_TRACE(runtime);
        fs::path folder;
        ASSERT_TRUE(PrivateTempFolderFrom(Sources(runtime), folder));
        EXPECT_EQ(folder, Expected());
    }
}

TEST_F(PrivateTempFolderTest, RefusesAPlantedLink)
{
    const fs::path target = Root() / "attacker";
    ASSERT_EQ(::mkdir(target.c_str(), 0700), 0);
    fs::create_directory_symlink(target, Expected());
    fs::path folder = "stale";
    const halvex::Status status = PrivateTempFolderFrom(Sources(), folder);
    EXPECT_FALSE(status);
    EXPECT_EQ(status.messageKey, "temp_folder_err");
    EXPECT_TRUE(folder.empty());
}

TEST_F(PrivateTempFolderTest, RefusesAFolderOpenToOthers)
{
    ASSERT_EQ(::mkdir(Expected().c_str(), 0700), 0);
    for (const mode_t mode : {0777, 0750, 0705, 01777}) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(::chmod(Expected().c_str(), mode), 0);
        fs::path folder;
        EXPECT_FALSE(PrivateTempFolderFrom(Sources(), folder));
        EXPECT_TRUE(folder.empty());
    }
}

TEST_F(PrivateTempFolderTest, RefusesAFolderOfAnotherUser)
{
    // Made by this user under another user's name: to that user it is a
    // folder someone else owns.
    TempFolderSources sources = Sources();
    sources.uid = ::geteuid() + 4242;
    const fs::path name = Root() / ("halvex-" + std::to_string(sources.uid));
    ASSERT_EQ(::mkdir(name.c_str(), 0700), 0);
    fs::path folder;
    const halvex::Status status = PrivateTempFolderFrom(sources, folder);
    EXPECT_FALSE(status);
    EXPECT_NE(status.detail.find("another user"), std::string::npos);
}

TEST_F(PrivateTempFolderTest, RefusesAFileInItsPlace)
{
    WriteFile(Expected(), "");
    fs::path folder;
    EXPECT_FALSE(PrivateTempFolderFrom(Sources(), folder));
}
