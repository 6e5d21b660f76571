#include "zip/ZipArchive.h"

#include <minizip/zip.h>

#include "BackupTestSupport.h"

using namespace halvex;
using namespace halvex::test;

namespace {

// Writes an archive with arbitrary entry names, as a hostile drive could hold.
void WriteRawZip(const std::filesystem::path& archive, const std::vector<std::pair<std::string, std::string>>& entries)
{
    zipFile zip = zipOpen64(archive.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr);
    for (const auto& [name, content] : entries) {
        zip_fileinfo info{};
        info.tmz_date.tm_year = 2020;
        info.tmz_date.tm_mday = 1;
        ASSERT_EQ(zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 6),
                  ZIP_OK);
        zipWriteInFileInZip(zip, content.data(), static_cast<unsigned>(content.size()));
        zipCloseFileInZip(zip);
    }
    zipClose(zip, nullptr);
}

}  // namespace

TEST(ZipArchive, ArchivePassesInfoZipAndPythonAndKeepsTimes)
{
    TempFolder folder;
    const auto source = folder / "r\xC3\xA9sum\xC3\xA9 notes.txt";
    std::string content;
    for (int i = 0; i < 20000; ++i)
        content += "line " + std::to_string(i) + "\n";
    WriteFile(source, content);
    SetTime(source, 1600000001);  // an odd second: the zip date alone cannot hold it

    ASSERT_TRUE(CopyFileZip(source, folder / "stored"));
    const auto archive = folder / "stored.zip";
    EXPECT_EQ(TimeOf(archive), 1600000001);
    EXPECT_EQ(RunCommand("unzip -tqq " + Quote(archive) + " >/dev/null"), 0);
    const std::string python =
        "import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "assert z.testzip() is None\n"
        "names = z.namelist()\n"
        "assert names == ['r\\u00e9sum\\u00e9 notes.txt'], names\n"
        "assert z.getinfo(names[0]).compress_type == zipfile.ZIP_DEFLATED\n"
        "assert len(z.read(names[0])) == int(sys.argv[2])\n";
    WriteFile(folder / "check.py", python);
    EXPECT_EQ(RunCommand("python3 " + Quote(folder / "check.py") + " " + Quote(archive) + " " +
                         std::to_string(content.size())),
              0);

    // Extraction gives back the content and the exact second from the extra field.
    const auto restoredFolder = folder / "out";
    std::filesystem::create_directory(restoredFolder);
    const auto restored = restoredFolder / source.filename();
    ASSERT_TRUE(CopyFileUnZip(restored, archive).ok);
    EXPECT_EQ(ReadFile(restored), content);
    EXPECT_EQ(TimeOf(restored), 1600000001);
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(restoredFolder), {}), 1);
}

TEST(ZipArchive, EmptyFileAndMissingSource)
{
    TempFolder folder;
    WriteFile(folder / "empty.dat", "");
    ASSERT_TRUE(CopyFileZip(folder / "empty.dat", folder / "empty.dat"));
    EXPECT_EQ(RunCommand("unzip -tqq " + Quote(folder / "empty.dat.zip") + " >/dev/null"), 0);

    EXPECT_FALSE(CopyFileZip(folder / "missing.txt", folder / "missing.txt"));
    EXPECT_FALSE(std::filesystem::exists(folder / "missing.txt.zip"));
    // Nothing partial is left under any name.
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.path()))
        ++count;
    EXPECT_EQ(count, 2);
}

TEST(ZipArchive, FailedWriteRemovesPartialArchive)
{
    TempFolder folder;
    WriteFile(folder / "a.txt", std::string(100000, 'x'));
    std::atomic<bool> cancel{true};
    EXPECT_FALSE(WriteSingleEntryZip(folder / "a.txt", folder / "c.zip", "a.txt", &cancel).ok);
    EXPECT_FALSE(std::filesystem::exists(folder / "c.zip"));

    std::filesystem::create_directory(folder / "ro");
    std::filesystem::permissions(folder / "ro",
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    if (::access((folder / "ro").c_str(), W_OK) == 0)
        GTEST_SKIP() << "running as root: permissions do not stop writes";
    EXPECT_FALSE(CopyFileZip(folder / "a.txt", folder / "ro" / "a.txt"));
    EXPECT_TRUE(std::filesystem::is_empty(folder / "ro"));
}

TEST(ZipArchive, PlainEntryNames)
{
    const std::vector<std::pair<std::string, bool>> table = {
        {"report.doc", true},   {"no extension", true}, {"..hidden..", true}, {"", false},
        {".", false},           {"..", false},          {"../evil", false},   {"a/b.txt", false},
        {"/etc/passwd", false}, {"dir/", false},        {"a\\b.txt", false},  {"C:evil", false},
        {"tab\tname", false},
    };
    for (const auto& [name, plain] : table)
        EXPECT_EQ(IsPlainEntryName(name), plain) << name;
}

TEST(ZipArchive, UnsafeEntryNamesAreRefusedAndNothingEscapes)
{
    TempFolder folder;
    std::filesystem::create_directories(folder / "drive");
    std::filesystem::create_directories(folder / "dest");
    const std::vector<std::string> hostile = {"../escaped.txt", "/tmp/halvex-absolute.txt", "sub/inner.txt", "..",
                                              "sub\\inner.txt"};
    for (const auto& name : hostile) {
        const auto archive = folder / "drive" / "hostile.txt.zip";
        std::filesystem::remove(archive);
        WriteRawZip(archive, {{name, "payload"}});
        const Status status = CopyFileUnZip(folder / "dest" / "hostile.txt", archive);
        EXPECT_FALSE(status.ok) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "escaped.txt"));
    EXPECT_TRUE(std::filesystem::is_empty(folder / "dest"));
}

TEST(ZipArchive, EntryUnderAnotherNameDoesNotReplaceAnExistingFile)
{
    TempFolder folder;
    WriteFile(folder / "dest" / "other.txt", "keep me");
    WriteRawZip(folder / "a.txt.zip", {{"other.txt", "intruder"}});
    EXPECT_FALSE(CopyFileUnZip(folder / "dest" / "a.txt", folder / "a.txt.zip").ok);
    EXPECT_EQ(ReadFile(folder / "dest" / "other.txt"), "keep me");
}

// A backup archive gives back the file it is named after and nothing else:
// one with any other entry is damaged, and none of it is written.
TEST(ZipArchive, OnlyTheArchivesOwnFileComesOut)
{
    const std::vector<std::pair<const char*, std::vector<std::pair<std::string, std::string>>>> table = {
        {"own file and two more", {{"notes.txt", "text"}, {"evil.sh", "#!/bin/sh"}, {"evil.desktop", "[x]"}}},
        {"another file first", {{"evil.sh", "#!/bin/sh"}, {"notes.txt", "text"}}},
        {"another name only", {{"other.txt", "text"}}},
        {"own name twice", {{"notes.txt", "one"}, {"notes.txt", "two"}}},
    };
    for (const auto& [name, entries] : table) {
        SCOPED_TRACE(name);
        TempFolder folder;
        WriteFile(folder / "dest" / "notes.txt", "the user's own");
        WriteRawZip(folder / "notes.txt.zip", entries);
        const Status status = CopyFileUnZip(folder / "dest" / "notes.txt", folder / "notes.txt.zip");
        EXPECT_FALSE(status.ok);
        EXPECT_NE(status.detail.find("more than its own file"), std::string::npos) << status.detail;
        EXPECT_EQ(ReadFile(folder / "dest" / "notes.txt"), "the user's own");
        std::size_t files = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder / "dest"))
            ++files;
        EXPECT_EQ(files, 1u) << "no temporary and no other file is left";
    }
}

TEST(ZipArchive, DamagedAndEmptyArchives)
{
    TempFolder folder;
    WriteFile(folder / "junk.zip", "this is not a zip archive at all");
    EXPECT_FALSE(CopyFileUnZip(folder / "junk", folder / "junk.zip").ok);

    WriteRawZip(folder / "none.zip", {});
    EXPECT_TRUE(CopyFileUnZip(folder / "none", folder / "none.zip").ok);

    // A flipped byte in the compressed data fails the CRC and leaves no file.
    WriteFile(folder / "data.txt", std::string(50000, 'q') + "tail");
    ASSERT_TRUE(CopyFileZip(folder / "data.txt", folder / "data.txt"));
    std::string bytes = ReadFile(folder / "data.txt.zip");
    bytes[60] = static_cast<char>(bytes[60] ^ 0x55);
    WriteFile(folder / "bad" / "data.txt.zip", bytes);
    EXPECT_FALSE(CopyFileUnZip(folder / "bad" / "data.txt", folder / "bad" / "data.txt.zip").ok);
    EXPECT_FALSE(std::filesystem::exists(folder / "bad" / "data.txt"));
}

// Minutes of work: run with HALVEX_LARGE_TESTS=1.
TEST(ZipArchive, FileOfFourGigabytesGetsZip64Records)
{
    if (!std::getenv("HALVEX_LARGE_TESTS"))
        GTEST_SKIP() << "set HALVEX_LARGE_TESTS=1 to run";
    TempFolder folder;
    const auto source = folder / "big.img";
    WriteFile(source, "start");
    std::filesystem::resize_file(source, (4ull << 30) + 7);  // sparse: zeros compress fast
    ASSERT_TRUE(CopyFileZip(source, source));
    EXPECT_EQ(RunCommand("unzip -tqq " + Quote(folder / "big.img.zip") + " >/dev/null"), 0);
    EXPECT_EQ(RunCommand("python3 -c \"import sys, zipfile; i = zipfile.ZipFile(sys.argv[1]).infolist()[0]; "
                         "sys.exit(i.file_size != (4 << 30) + 7)\" " +
                         Quote(folder / "big.img.zip")),
              0);
}

// Each size and kind of content takes its own path: whole in memory or
// streamed above 32 MiB, deflated when that saves, stored when it does not.
TEST(ZipArchive, EntriesAreDeflatedOrStoredAndComeBackWhole)
{
    TempFolder folder;
    std::string random(100000, '\0');
    std::uint32_t seed = 7;
    for (auto& c : random) {
        seed = seed * 1103515245 + 12345;
        c = static_cast<char>(seed >> 16);
    }
    std::string text;
    while (text.size() < 100000)
        text += "generation folder drive profile " + std::to_string(text.size()) + "\n";
    std::string bigText;
    while (bigText.size() < (33u << 20))
        bigText += text;
    std::string bigRandom;
    while (bigRandom.size() < (33u << 20))
        bigRandom += random + std::to_string(bigRandom.size());

    struct Case {
        const char* name;
        std::string content;
        int method;  // 0 stored, 8 deflated
    };
    const std::vector<Case> cases = {
        {"empty.txt", "", 0},
        {"one.txt", "x", 0},
        {"text.txt", text, 8},
        {"random.bin", random, 0},
        // A little text behind random data still does not save enough.
        {"mostly-random.bin", random + std::string(1000, 'a'), 0},
        {"half.bin", random + text, 8},
        {"big-text.txt", bigText, 8},
        {"big-random.bin", bigRandom, 0},
    };
    const std::string python =
        "import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "assert z.testzip() is None\n"
        "i = z.infolist()\n"
        "assert len(i) == 1 and i[0].compress_type == int(sys.argv[3]), (len(i), i[0].compress_type)\n"
        "assert z.read(i[0]) == open(sys.argv[2], 'rb').read()\n";
    WriteFile(folder / "check.py", python);
    std::filesystem::create_directory(folder / "out");
    for (const auto& c : cases) {
        const auto source = folder / c.name;
        WriteFile(source, c.content);
        ASSERT_TRUE(CopyFileZip(source, source)) << c.name;
        const auto archive = folder / (std::string(c.name) + ".zip");
        EXPECT_EQ(RunCommand("unzip -tqq " + Quote(archive) + " >/dev/null"), 0) << c.name;
        EXPECT_EQ(RunCommand("python3 " + Quote(folder / "check.py") + " " + Quote(archive) + " " + Quote(source) +
                             " " + std::to_string(c.method)),
                  0)
            << c.name;
        ASSERT_TRUE(CopyFileUnZip(folder / "out" / c.name, archive).ok) << c.name;
        EXPECT_TRUE(ReadFile(folder / "out" / c.name) == c.content) << c.name;
    }

    // A flipped byte of stored data, and a directory that lies about the
    // size, fail that archive and leave nothing behind.
    std::string stored = ReadFile(folder / "random.bin.zip");
    stored[5000] = static_cast<char>(stored[5000] ^ 1);
    WriteFile(folder / "bad" / "random.bin.zip", stored);
    EXPECT_EQ(CopyFileUnZip(folder / "bad" / "random.bin", folder / "bad" / "random.bin.zip").detail, "CRC mismatch");
    std::string lying = ReadFile(folder / "text.txt.zip");
    const std::size_t central = lying.rfind(std::string("PK\x01\x02", 4));
    ASSERT_NE(central, std::string::npos);
    lying[central + 24] = static_cast<char>(lying[central + 24] + 1);  // uncompressed size, low byte
    WriteFile(folder / "bad" / "text.txt.zip", lying);
    EXPECT_FALSE(CopyFileUnZip(folder / "bad" / "text.txt", folder / "bad" / "text.txt.zip").ok);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder / "bad"), {}), 2);
}
