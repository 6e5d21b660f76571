#include "util/FreedesktopTrash.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TestFiles.h"
#include "TrashInfo.h"
#include "copy/FileDescriptor.h"

namespace fs = std::filesystem;
using namespace halvex;
using namespace halvex::test;

namespace {

TEST(TrashPath, EncodesWhatAFileUrlEscapesAndDecodesBack)
{
    const struct {
        std::string plain;
        std::string encoded;
    } cases[] = {
        {"/home/a/Report 2026.txt", "/home/a/Report%202026.txt"},
        {"Sync Folder/100%.txt", "Sync%20Folder/100%25.txt"},
        {"caf\xc3\xa9/#?&=", "caf%C3%A9/%23%3F%26%3D"},
        {"a-b_c.d~e", "a-b_c.d~e"},
        {"line\nbreak", "line%0Abreak"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EncodeTrashPath(c.plain), c.encoded);
        EXPECT_EQ(DecodeTrashPath(c.encoded), c.plain);
    }
    for (const char* malformed : {"%", "a%2", "%zz", "%2g"})
        EXPECT_FALSE(DecodeTrashPath(malformed)) << malformed;
}

// The files are on the temporary folder's volume; the home trash on
// another (shared memory), so that the volume's own trash rules apply. With
// `homeHere`, the home trash is on the files' volume.
class TrashTest : public ::testing::Test {
protected:
    FreedesktopTrash MakeTrash(bool homeHere, uid_t uid = ::geteuid())
    {
        FreedesktopTrashOptions options;
        options.homeTrash = homeHere ? tmp / "data" / "Trash" : home.path() / "Trash";
        options.uid = uid;
        options.topFolderOf = [this](const fs::path&) { return top; };
        options.now = [] { return std::time_t{1'765'000'000}; };
        return FreedesktopTrash(options);
    }
    Status Discard(FreedesktopTrash& trash, const std::string& name)
    {
        const FileDescriptor folder(::open(files.c_str(), O_RDONLY | O_DIRECTORY));
        return trash.Discard(folder.Get(), name, files / name);
    }
    fs::path VolumeTrash() const { return top / (".Trash-" + std::to_string(::geteuid())); }

    TempFolder tmp;
    TempFolder home{"home", "/dev/shm"};
    fs::path top = tmp.path();
    fs::path files = tmp / "Sync Folder";
};

TEST_F(TrashTest, HomeTrashKeepsTheAbsolutePathAndNumbersNamesThatAreTaken)
{
    auto trash = MakeTrash(true);
    const fs::path bin = tmp / "data" / "Trash";
    WriteFile(files / "a b.txt", "first");
    ASSERT_TRUE(Discard(trash, "a b.txt").ok);
    WriteFile(files / "a b.txt", "second");
    ASSERT_TRUE(Discard(trash, "a b.txt").ok);
    // A file another program left without its info file still holds its name.
    WriteFile(bin / "files" / "a b.txt.3", "stray");
    WriteFile(files / "a b.txt", "third");
    ASSERT_TRUE(Discard(trash, "a b.txt").ok);

    EXPECT_FALSE(fs::exists(files / "a b.txt"));
    EXPECT_EQ(ReadFile(bin / "files" / "a b.txt"), "first");
    EXPECT_EQ(ReadFile(bin / "files" / "a b.txt.2"), "second");
    EXPECT_EQ(ReadFile(bin / "files" / "a b.txt.3"), "stray");
    EXPECT_EQ(ReadFile(bin / "files" / "a b.txt.4"), "third");
    for (const char* name : {"a b.txt", "a b.txt.2", "a b.txt.4"}) {
        const auto info = ParseTrashInfo(bin / "info" / (std::string(name) + ".trashinfo"));
        ASSERT_TRUE(info) << name;
        EXPECT_EQ(info->path, (files / "a b.txt").string());
    }
    struct stat st {};
    ASSERT_EQ(::stat(bin.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(TrashTest, VolumeTrashIsTheUsersOwnWithThePathFromTheTop)
{
    auto trash = MakeTrash(false);
    WriteFile(files / "sub" / "x.txt", "x");
    ASSERT_TRUE(Discard(trash, "sub").ok) << "a folder goes whole";
    EXPECT_EQ(ReadFile(VolumeTrash() / "files" / "sub" / "x.txt"), "x");
    const auto info = ParseTrashInfo(VolumeTrash() / "info" / "sub.trashinfo");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->path, "Sync Folder/sub");
    EXPECT_FALSE(fs::exists(home / "Trash")) << "nothing crosses to the home volume";
    struct stat st {};
    ASSERT_EQ(::stat(VolumeTrash().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(TrashTest, SharedTrashIsUsedOnlyWhenStickyAndNoLink)
{
    const fs::path shared = top / ".Trash";
    const fs::path own = shared / std::to_string(::geteuid());
    struct {
        const char* what;
        std::function<void()> make;
        bool usesShared;
    } cases[] = {
        {"sticky folder",
         [&] {
             fs::create_directory(shared);
             ::chmod(shared.c_str(), 01777);
         },
         true},
        {"not sticky",
         [&] {
             fs::create_directory(shared);
             ::chmod(shared.c_str(), 0777);
         },
         false},
        {"link to a sticky folder",
         [&] {
             fs::create_directory(tmp / "elsewhere");
             ::chmod((tmp / "elsewhere").c_str(), 01777);
             fs::create_directory_symlink(tmp / "elsewhere", shared);
         },
         false},
    };
    for (const auto& c : cases) {
        fs::remove_all(shared);
        fs::remove_all(VolumeTrash());
        fs::remove_all(tmp / "elsewhere");
        c.make();
        auto trash = MakeTrash(false);
        WriteFile(files / "f.txt", c.what);
        ASSERT_TRUE(Discard(trash, "f.txt").ok) << c.what;
        EXPECT_EQ(fs::exists(own / "files" / "f.txt"), c.usesShared) << c.what;
        EXPECT_EQ(fs::exists(VolumeTrash() / "files" / "f.txt"), !c.usesShared) << c.what;
        EXPECT_FALSE(fs::exists(tmp / "elsewhere" / std::to_string(::geteuid()))) << c.what;
    }
}

TEST_F(TrashTest, ATrashThatCannotBeTrustedLeavesTheFileWhereItIs)
{
    const fs::path decoy = tmp / "decoy";
    struct {
        const char* what;
        std::function<void()> make;
        uid_t uid;
    } cases[] = {
        {"trash folder is a link", [&] { fs::create_directory_symlink(decoy, VolumeTrash()); }, ::geteuid()},
        {"its files folder is a link",
         [&] {
             fs::create_directories(VolumeTrash() / "info");
             fs::create_directory_symlink(decoy, VolumeTrash() / "files");
         },
         ::geteuid()},
        {"trash folder is a file", [&] { WriteFile(VolumeTrash(), ""); }, ::geteuid()},
        {"trash folder of another user", [] {}, ::geteuid() + 1},
    };
    for (const auto& c : cases) {
        fs::remove_all(VolumeTrash());
        fs::remove_all(decoy);
        fs::create_directory(decoy);
        c.make();
        if (c.uid != ::geteuid())  // another user's folder, as this user made it
            fs::create_directory(top / (".Trash-" + std::to_string(c.uid)));
        auto trash = MakeTrash(false, c.uid);
        WriteFile(files / "keep.txt", c.what);
        const Status moved = Discard(trash, "keep.txt");
        EXPECT_FALSE(moved.ok) << c.what;
        EXPECT_EQ(moved.messageKey, kTrashFailedKey) << c.what;
        EXPECT_EQ(ReadFile(files / "keep.txt"), c.what);
        EXPECT_TRUE(fs::is_empty(decoy)) << c.what;
        fs::remove_all(top / (".Trash-" + std::to_string(c.uid)));
    }
}

TEST_F(TrashTest, InfoFileDatesTheDeletionInLocalTime)
{
    ScopedEnvironment zone("TZ", "UTC");
    ::tzset();
    EXPECT_EQ(TrashInfoText("/a b", 1'765'000'000), "[Trash Info]\nPath=/a%20b\nDeletionDate=2025-12-06T05:46:40\n");
    zone.Set("Asia/Tokyo");
    ::tzset();
    EXPECT_NE(TrashInfoText("/a", 1'765'000'000).find("DeletionDate=2025-12-06T14:46:40"), std::string::npos);
    zone.Set(nullptr);
    ::tzset();
}

}  // namespace
