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
    const auto folder = PrivateTempFolderFrom(Sources());
    ::umask(previous);
    ASSERT_TRUE(folder) << folder.detail();
    EXPECT_EQ(folder.value(), Expected());
    EXPECT_EQ(Mode(folder.value()), 0700u);

    // A second start reuses it.
    const auto again = PrivateTempFolderFrom(Sources());
    ASSERT_TRUE(again);
    EXPECT_EQ(again.value(), folder.value());
}

TEST_F(PrivateTempFolderTest, PrivateRuntimeFolderIsUsedAsItIs)
{
    const fs::path runtime = Root() / "run";
    ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
    const auto folder = PrivateTempFolderFrom(Sources(runtime.string()));
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder.value(), runtime);
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
        const auto folder = PrivateTempFolderFrom(Sources(runtime));
        ASSERT_TRUE(folder);
        EXPECT_EQ(folder.value(), Expected());
    }
}

TEST_F(PrivateTempFolderTest, RefusesAPlantedLink)
{
    const fs::path target = Root() / "attacker";
    ASSERT_EQ(::mkdir(target.c_str(), 0700), 0);
    fs::create_directory_symlink(target, Expected());
    const auto folder = PrivateTempFolderFrom(Sources());
    EXPECT_FALSE(folder);
    EXPECT_EQ(folder.messageKey(), "temp_folder_err");
}

TEST_F(PrivateTempFolderTest, RefusesAFolderOpenToOthers)
{
    ASSERT_EQ(::mkdir(Expected().c_str(), 0700), 0);
    for (const mode_t mode : {0777, 0750, 0705, 01777}) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(::chmod(Expected().c_str(), mode), 0);
        EXPECT_FALSE(PrivateTempFolderFrom(Sources()));
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
    const auto folder = PrivateTempFolderFrom(sources);
    EXPECT_FALSE(folder);
    EXPECT_NE(folder.detail().find("another user"), std::string::npos);
}

TEST_F(PrivateTempFolderTest, RefusesAFileInItsPlace)
{
    WriteFile(Expected(), "");
    EXPECT_FALSE(PrivateTempFolderFrom(Sources()));
}
