#include "zip/ZipExtraction.h"

#include <gtest/gtest.h>
#include <minizip/zip.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "system/KMSystem.h"
#include "BackupTestSupport.h"
#include "zip/ZipEntryName.h"

namespace fs = std::filesystem;

namespace {

struct Entry {
    std::string name;
    std::string content;
    unsigned mode = 0;  // Unix mode bits; 0 for an archive made elsewhere
};

void MakeZip(const fs::path& archive, const std::vector<Entry>& entries)
{
    zipFile zip = zipOpen64(archive.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr);
    for (const Entry& entry : entries) {
        zip_fileinfo info{};
        info.tmz_date = {0, 30, 12, 15, 5, 2021};  // 15 June 2021 12:30:00
        info.external_fa = static_cast<uLong>(entry.mode) << 16;
        const uLong madeBy = entry.mode != 0 ? (3u << 8) | 20u : 20u;
        ASSERT_EQ(zipOpenNewFileInZip4(zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                       Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr,
                                       0, madeBy, 0),
                  ZIP_OK);
        if (!entry.content.empty())
            zipWriteInFileInZip(zip, entry.content.data(), static_cast<unsigned>(entry.content.size()));
        zipCloseFileInZip(zip);
    }
    zipClose(zip, nullptr);
}

std::string ReadAll(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class ZipExtractionTest : public ::testing::Test {
protected:
    halvex::test::TempFolder folder;
    const fs::path root = folder.path();
    const fs::path archive = root / "a.zip";
    const fs::path target = root / "out" / "deep";
};

TEST(ZipEntryName, RefusesNamesThatLeaveTheFolder)
{
    for (const char* name : {"a.txt", "dir/", "dir/sub/a.txt", "a..b", "..a", "dir/..hidden", "./a"})
        EXPECT_TRUE(halvex::IsSafeEntryName(name)) << name;
    for (const char* name :
         {"", "/etc/passwd", "\\x", "C:x", "c:/x", "..", "../x", "a/../../x", "a/..", "a\\..\\x", "a/../b"})
        EXPECT_FALSE(halvex::IsSafeEntryName(name)) << name;
    EXPECT_FALSE(halvex::IsSafeEntryName(std::string_view("a\0b", 3)));
}

TEST_F(ZipExtractionTest, ExtractsFoldersFilesModesAndTimesOverwriting)
{
    MakeZip(
        archive,
        {{"Updater/", ""}, {"Updater/run", "#!/bin/sh\n", 0100755}, {"readme.txt", "new"}, {"nested/a/b.txt", "b"}});
    fs::create_directories(target);
    halvex::test::WriteFile(target / "readme.txt", "old and longer");

    ASSERT_TRUE(halvex::ExtractZipArchive(archive, target));
    EXPECT_EQ(ReadAll(target / "readme.txt"), "new");
    EXPECT_EQ(ReadAll(target / "nested" / "a" / "b.txt"), "b");
    struct stat info {};
    ASSERT_EQ(::stat((target / "Updater" / "run").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0755u);
    std::tm when{};
    const std::time_t mtime = info.st_mtime;
    localtime_r(&mtime, &when);
    EXPECT_EQ(when.tm_year, 121);
    EXPECT_EQ(when.tm_hour, 12);
}

TEST_F(ZipExtractionTest, EscapingEntryFailsAndWritesNothing)
{
    for (const char* bad : {"../escaped.txt", "/tmp/halvex-absolute.txt", "ok/../../escaped.txt"}) {
        SCOPED_TRACE(bad);
        MakeZip(archive, {{"first.txt", "1"}, {bad, "x"}});
        const halvex::Status status = halvex::ExtractZipArchive(archive, target);
        EXPECT_FALSE(status);
        EXPECT_EQ(status.messageKey, "zip_unsafe_entry");
        EXPECT_FALSE(fs::exists(target / "first.txt"));
        EXPECT_FALSE(fs::exists(root / "out" / "escaped.txt"));
        EXPECT_FALSE(fs::exists(root / "escaped.txt"));
        EXPECT_FALSE(KMSystem::ExtractZip(archive, target));
        fs::remove(archive);
    }
    EXPECT_FALSE(fs::exists("/tmp/halvex-absolute.txt"));
}

TEST_F(ZipExtractionTest, ExistingLinkOnTheWayIsNotFollowed)
{
    fs::create_directories(target);
    fs::create_directories(root / "outside");
    fs::create_directory_symlink(root / "outside", target / "sub");
    halvex::test::WriteFile(root / "outside" / "victim", "keep");
    fs::create_symlink(root / "outside" / "victim", target / "victim");

    MakeZip(archive, {{"sub/file.txt", "x"}});
    EXPECT_FALSE(halvex::ExtractZipArchive(archive, target));
    EXPECT_FALSE(fs::exists(root / "outside" / "file.txt"));

    MakeZip(archive, {{"victim", "overwritten"}});
    EXPECT_FALSE(halvex::ExtractZipArchive(archive, target));
    EXPECT_EQ(ReadAll(root / "outside" / "victim"), "keep");
}

TEST_F(ZipExtractionTest, MissingOrDamagedArchiveFails)
{
    EXPECT_EQ(halvex::ExtractZipArchive(archive, target).messageKey, "zip_missing");
    halvex::test::WriteFile(archive, "PK\x03\x04 not really a zip");
    EXPECT_EQ(halvex::ExtractZipArchive(archive, target).messageKey, "zip_damaged");

    // A valid archive cut short: the entry's data or its directory is lost.
    MakeZip(archive, {{"big.txt", std::string(100000, 'z')}});
    const auto size = fs::file_size(archive);
    fs::resize_file(archive, size / 2);
    EXPECT_FALSE(halvex::ExtractZipArchive(archive, target));
}

}  // namespace
