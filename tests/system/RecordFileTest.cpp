#include "system/RecordFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "SystemTestSupport.h"

namespace fs = std::filesystem;
using halvex::RecordFile;
using halvex::test::TempFolder;

namespace {

RecordFile Record(const fs::path& file)
{
    return RecordFile(file, 64, "damaged", "write_error");
}

TEST(RecordFile, MissingFileIsNoTextAndAWriteMakesItsFolder)
{
    TempFolder folder("record");
    const fs::path file = folder.path() / "config" / "halvex-dravane" / "list";
    const auto missing = Record(file).Read();
    ASSERT_TRUE(missing);
    EXPECT_FALSE(missing.value().has_value());

    ASSERT_TRUE(Record(file).Write("header 1\n"));
    const auto written = Record(file).Read();
    ASSERT_TRUE(written);
    EXPECT_EQ(written.value(), "header 1\n");

    EXPECT_EQ(Record({}).Read().messageKey(), "damaged");
    EXPECT_EQ(Record({}).Write("x").messageKey, "write_error");
}

// A record stands for this user's own choice: what the file's place holds
// but this user did not write there is refused, never read through.
TEST(RecordFile, WhatThisUserDidNotWriteIsRefused)
{
    struct Case {
        const char* what;
        std::function<void(const fs::path& file, const fs::path& elsewhere)> make;
    };
    const Case cases[] = {
        {"a link to a good list",
         [](const fs::path& file, const fs::path& elsewhere) {
             halvex::test::WriteFile(elsewhere, "header 1\n");
             fs::create_symlink(elsewhere, file);
         }},
        {"a dangling link",
         [](const fs::path& file, const fs::path& elsewhere) { fs::create_symlink(elsewhere, file); }},
        {"a FIFO, which must not hang the reader",
         [](const fs::path& file, const fs::path&) { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); }},
        {"a folder", [](const fs::path& file, const fs::path&) { fs::create_directory(file); }},
        {"a file over the bound",
         [](const fs::path& file, const fs::path&) { halvex::test::WriteFile(file, std::string(65, 'x')); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder("record");
        const fs::path file = folder.path() / "list";
        c.make(file, folder.path() / "elsewhere");
        const auto read = Record(file).Read();
        EXPECT_FALSE(read);
        EXPECT_EQ(read.messageKey(), "damaged");
    }
}

TEST(RecordFile, AnotherUsersFileIsRefused)
{
    if (!halvex::test::RunningAsRoot())
        GTEST_SKIP() << "only root can give a file to another user";
    TempFolder folder("record");
    const fs::path file = folder.path() / "list";
    halvex::test::WriteFile(file, "header 1\n");
    ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
    EXPECT_EQ(Record(file).Read().messageKey(), "damaged");
    // Its replacement is this user's again.
    ASSERT_TRUE(Record(file).Write("header 1\n"));
    EXPECT_TRUE(Record(file).Read());
}

}  // namespace
