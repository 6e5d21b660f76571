#include "copy/FileCopier.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cstring>
#include <thread>

#include "CopyTestSupport.h"
#include "FileSizeLimit.h"

using namespace halvex;
using halvex::test::SetTime;
using halvex::testing::CountTemporaryFiles;
using halvex::testing::PatternData;
using halvex::testing::ReadFile;
using halvex::testing::TempFolder;
using halvex::testing::WriteFile;

namespace {

struct stat StatOf(const std::filesystem::path& path)
{
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info;
}

class FileCopierTest : public ::testing::Test {
protected:
    TempFolder folder;
    std::filesystem::path source = folder / "source.bin";
    std::filesystem::path destination = folder / "destination.bin";
};

TEST_F(FileCopierTest, CopiesDataAndNanosecondTimesUnderTheRealName)
{
    const std::string data = PatternData(3 * 262144 + 777);
    WriteFile(source, data);
    SetTime(source, 1500000000, 123456789, 1500000000 - 100);  // an access time of its own, to be kept

    const Status result = CopyFileAtomic(source, destination);

    ASSERT_TRUE(result.ok) << result.detail;
    const struct stat copied = StatOf(destination);  // before reading moves the access time
    EXPECT_EQ(copied.st_mtim.tv_sec, 1500000000);
    EXPECT_EQ(copied.st_mtim.tv_nsec, 123456789);
    EXPECT_EQ(copied.st_atim.tv_sec, 1500000000 - 100);
    EXPECT_EQ(ReadFile(destination), data);
    EXPECT_EQ(CountTemporaryFiles(folder.path()), 0);
}

TEST_F(FileCopierTest, EmptyFileAndSmallBufferBothCopyExactly)
{
    WriteFile(source, "");
    ASSERT_TRUE(CopyFileAtomic(source, destination).ok);
    EXPECT_TRUE(std::filesystem::exists(destination));
    EXPECT_EQ(std::filesystem::file_size(destination), 0u);

    const std::string data = PatternData(10000, 7);
    WriteFile(source, data);
    CopyOptions options;
    options.bufferSize = 1;  // raised to the minimum, 1024
    std::uint64_t calls = 0;
    options.progress = [&](std::uint64_t done, std::uint64_t total) {
        ++calls;
        EXPECT_LE(done, total);
        return true;
    };
    ASSERT_TRUE(CopyFileAtomic(source, destination, options).ok);
    EXPECT_EQ(ReadFile(destination), data);
    EXPECT_GE(calls, 10u);
}

TEST_F(FileCopierTest, ModeIsKeptOnlyWhenAsked)
{
    WriteFile(source, "x");
    ASSERT_EQ(::chmod(source.c_str(), 0751), 0);

    CopyOptions keep;
    keep.keepMode = true;
    ASSERT_TRUE(CopyFileAtomic(source, destination, keep).ok);
    EXPECT_EQ(StatOf(destination).st_mode & 07777, 0751u);

    const mode_t mask = ::umask(022);
    ::umask(mask);
    ASSERT_TRUE(CopyFileAtomic(source, folder / "plain", {}).ok);
    EXPECT_EQ(StatOf(folder / "plain").st_mode & 07777, 0666u & ~mask);
}

// A replaced file keeps what it was, and its new data is never readable by
// others while it is written.
TEST_F(FileCopierTest, ReplacedFileKeepsItsModeAndAttributesAndStaysPrivateMeanwhile)
{
    WriteFile(source, PatternData(std::size_t{3} * 262144));
    ASSERT_EQ(::chmod(source.c_str(), 0644), 0);
    WriteFile(destination, "old");
    ASSERT_EQ(::chmod(destination.c_str(), 0600), 0);
    const bool attributes = ::setxattr(destination.c_str(), "user.halvex.kept", "old", 3, 0) == 0;

    mode_t whileWritten = 0;
    CopyOptions options;
    options.bufferSize = 65536;
    options.progress = [&](std::uint64_t, std::uint64_t) {
        for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
            if (entry.path().filename().string().rfind(kCopyTemporaryPrefix, 0) == 0)
                whileWritten = StatOf(entry.path()).st_mode & 07777;
        return true;
    };
    ASSERT_TRUE(CopyFileAtomic(source, destination, options).ok);
    EXPECT_EQ(whileWritten, 0600u);
    EXPECT_EQ(StatOf(destination).st_mode & 07777, 0600u);
    EXPECT_EQ(ReadFile(destination), ReadFile(source));
    if (attributes) {
        char value[8] = {};
        ASSERT_EQ(::getxattr(destination.c_str(), "user.halvex.kept", value, sizeof value), 3);
        EXPECT_EQ(std::string(value, 3), "old");
    }

    // An executable stays one; with keepMode the source's mode wins.
    ASSERT_EQ(::chmod(destination.c_str(), 0750), 0);
    ASSERT_TRUE(CopyFileAtomic(source, destination).ok);
    EXPECT_EQ(StatOf(destination).st_mode & 07777, 0750u);
    CopyOptions keep;
    keep.keepMode = true;
    ASSERT_TRUE(CopyFileAtomic(source, destination, keep).ok);
    EXPECT_EQ(StatOf(destination).st_mode & 07777, 0644u);
}

TEST_F(FileCopierTest, ReadOnlySourceModeDoesNotStopTheCopy)
{
    WriteFile(source, PatternData(5000));
    ASSERT_EQ(::chmod(source.c_str(), 0444), 0);
    CopyOptions keep;
    keep.keepMode = true;
    ASSERT_TRUE(CopyFileAtomic(source, destination, keep).ok);
    EXPECT_EQ(StatOf(destination).st_mode & 07777, 0444u);
    EXPECT_EQ(ReadFile(destination), ReadFile(source));
}

TEST_F(FileCopierTest, ReplacesAnEarlierDestinationOrRefusesWhenNotAllowed)
{
    WriteFile(source, "new content");
    WriteFile(destination, "old content");

    CopyOptions keepExisting;
    keepExisting.replace = false;
    const Status refused = CopyFileAtomic(source, destination, keepExisting);
    EXPECT_EQ(refused.messageKey, kCopyFailedKey);
    EXPECT_EQ(refused.systemError, EEXIST);
    EXPECT_EQ(ReadFile(destination), "old content");

    ASSERT_TRUE(CopyFileAtomic(source, destination).ok);
    EXPECT_EQ(ReadFile(destination), "new content");
    EXPECT_EQ(CountTemporaryFiles(folder.path()), 0);
}

TEST_F(FileCopierTest, FailuresNameTheErrorAndLeaveNothingBehind)
{
    WriteFile(source, "data");
    std::filesystem::create_directory(folder / "a folder");

    struct Case {
        std::filesystem::path from, to;
        int error;
        std::filesystem::path named;  // the side the message names
    } cases[] = {
        {folder / "missing", destination, ENOENT, folder / "missing"},
        {source, folder / "no such folder" / "x", ENOENT, folder / "no such folder"},
        {source, folder / "a folder", EISDIR, folder / "a folder"},
        {folder / "a folder", destination, EISDIR, folder / "a folder"},
    };
    for (const Case& c : cases) {
        const Status result = CopyFileAtomic(c.from, c.to);
        EXPECT_EQ(result.messageKey, kCopyFailedKey) << c.from << " -> " << c.to;
        EXPECT_EQ(result.systemError, c.error) << c.from << " -> " << c.to;
        EXPECT_EQ(result.detail, c.named.string() + ": " + std::strerror(c.error));
    }
    EXPECT_FALSE(std::filesystem::exists(destination));
    EXPECT_EQ(CountTemporaryFiles(folder.path()), 0);
    EXPECT_TRUE(std::filesystem::is_empty(folder / "a folder"));
}

TEST_F(FileCopierTest, CancelledCopyLeavesTheOldDestinationIntact)
{
    WriteFile(source, PatternData(8192));
    WriteFile(destination, "old content");

    std::atomic<bool> cancel{true};
    CopyOptions before;
    before.cancel = &cancel;
    EXPECT_TRUE(CopyFileAtomic(source, destination, before).cancelled());

    // Cancelled halfway through the data, from the progress report.
    CopyOptions midway;
    midway.bufferSize = 1024;
    midway.progress = [](std::uint64_t done, std::uint64_t) { return done < 4096; };
    const Status result = CopyFileAtomic(source, destination, midway);
    EXPECT_TRUE(result.cancelled());
    EXPECT_EQ(result.systemError, 0);

    EXPECT_EQ(ReadFile(destination), "old content");
    EXPECT_EQ(CountTemporaryFiles(folder.path()), 0);
}

TEST_F(FileCopierTest, PauseHoldsTheCopyUntilCancelled)
{
    WriteFile(source, PatternData(4096));
    std::atomic<bool> pause{true}, cancel{false}, finished{false};
    CopyOptions options;
    options.pause = &pause;
    options.cancel = &cancel;
    Status result;
    std::thread worker([&] {
        result = CopyFileAtomic(source, destination, options);
        finished = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));  // time for a copy that must not finish
    EXPECT_FALSE(finished.load());
    cancel = true;
    worker.join();
    EXPECT_TRUE(result.cancelled());
    EXPECT_FALSE(std::filesystem::exists(destination));
    EXPECT_EQ(CountTemporaryFiles(folder.path()), 0);
}

TEST_F(FileCopierTest, PseudoFilesThatClaimNoSizeAreReadToTheirEnd)
{
    // The kernel's own copy sees /proc files as empty; their text must still arrive.
    ASSERT_TRUE(CopyFileAtomic("/proc/self/status", destination).ok);
    EXPECT_NE(ReadFile(destination).find("Name:"), std::string::npos);
}

TEST_F(FileCopierTest, CopiesAcrossVolumesByReadAndWrite)
{
    const std::filesystem::path shm = "/dev/shm";
    if (!std::filesystem::is_directory(shm))
        GTEST_SKIP() << "no /dev/shm volume to copy from";
    const std::filesystem::path other = shm / ("halvex-copy-" + std::to_string(getpid()));
    const std::string data = PatternData(600000, 3);
    WriteFile(other, data);
    const Status result = CopyFileAtomic(other, destination);
    std::filesystem::remove(other);
    ASSERT_TRUE(result.ok) << result.detail;
    EXPECT_EQ(ReadFile(destination), data);
}

TEST_F(FileCopierTest, ExtendedAttributesTravelOnlyWhenAsked)
{
    WriteFile(source, "x");
    if (::setxattr(source.c_str(), "user.halvex.test", "value", 5, 0) != 0)
        GTEST_SKIP() << "the test folder's volume keeps no user attributes";

    ASSERT_TRUE(CopyFileAtomic(source, destination).ok);
    char value[16] = {};
    EXPECT_LT(::getxattr(destination.c_str(), "user.halvex.test", value, sizeof value), 0);

    CopyOptions options;
    options.keepAttributes = true;
    ASSERT_TRUE(CopyFileAtomic(source, destination, options).ok);
    ASSERT_EQ(::getxattr(destination.c_str(), "user.halvex.test", value, sizeof value), 5);
    EXPECT_EQ(std::string(value, 5), "value");
}

// RLIMIT_FSIZE makes the kernel refuse writes past a size: a real write
// failure in the middle of a file.
TEST_F(FileCopierTest, WriteFailingMidFileRemovesThePartialCopy)
{
    WriteFile(source, PatternData(200000));
    WriteFile(destination, "old content");
    EXPECT_TRUE(halvex::test::HoldsWithFileSizeLimit(65536, [&] {
        CopyOptions options;
        options.bufferSize = 4096;
        const Status result = CopyFileAtomic(source, destination, options);
        return result.messageKey == kCopyFailedKey && result.systemError == EFBIG;
    })) << "expected a failure with EFBIG";
    EXPECT_EQ(ReadFile(destination), "old content");
    EXPECT_EQ(CountTemporaryFiles(folder.path()), 0);
}

TEST_F(FileCopierTest, FullDiskReportsDiskFullAndKeepsTheOldDestination)
{
    if (!halvex::testing::CanMountPrivately())
        GTEST_SKIP() << "making a small volume needs root for a private mount namespace";
    const std::filesystem::path volume = folder / "volume";
    std::filesystem::create_directory(volume);
    WriteFile(source, PatternData(std::size_t{2} * 1024 * 1024));

    const int status = halvex::testing::RunWithPrivateMount(volume, "tmpfs", "size=1m", [&] {
        const std::filesystem::path target = volume / "copy.bin";
        WriteFile(target, "old content");
        if (!IsDiskFull(CopyFileAtomic(source, target).systemError))
            return 1;
        if (ReadFile(target) != "old content")
            return 2;
        return CountTemporaryFiles(volume) == 0 ? 0 : 3;
    });
    EXPECT_EQ(status, 0) << "1: not DiskFull, 2: old destination changed, 3: temporary file left";
}

TEST_F(FileCopierTest, DestinationWithoutAttributeSupportStillGetsDataAndTimes)
{
    if (!halvex::testing::CanMountPrivately())
        GTEST_SKIP() << "making a volume without attributes needs root for a private mount namespace";
    WriteFile(source, "data with attributes");
    if (::setxattr(source.c_str(), "user.halvex.test", "v", 1, 0) != 0)
        GTEST_SKIP() << "the test folder's volume keeps no user attributes";
    SetTime(source, 1400000000, 5000);
    const std::filesystem::path volume = folder / "volume";
    std::filesystem::create_directory(volume);

    // ramfs keeps no extended attributes at all.
    const int status = halvex::testing::RunWithPrivateMount(volume, "ramfs", nullptr, [&] {
        const std::filesystem::path target = volume / "copy";
        CopyOptions options;
        options.keepAttributes = true;
        options.keepMode = true;
        if (!CopyFileAtomic(source, target, options).ok)
            return 1;
        if (ReadFile(target) != "data with attributes")
            return 2;
        struct stat info {};
        ::stat(target.c_str(), &info);
        return info.st_mtim.tv_sec == 1400000000 && info.st_mtim.tv_nsec == 5000 ? 0 : 3;
    });
    EXPECT_EQ(status, 0) << "1: copy failed, 2: data differs, 3: times differ";
}

// A copy written ahead and committed later: the destination is untouched
// until the commit, which still refuses a destination changed meanwhile; one
// dropped uncommitted leaves no temporary.
TEST_F(FileCopierTest, WrittenCopyReplacesOnlyAtItsCommitAndOnlyAnUnchangedDestination)
{
    WriteFile(source, "new text");
    WriteFile(destination, "old text");
    const struct stat before = StatOf(destination);
    const ExpectedDestination expected{true, static_cast<std::uint64_t>(before.st_size),
                                       before.st_mtim.tv_sec * 1'000'000'000LL + before.st_mtim.tv_nsec};
    CopyOptions options;
    options.expected = &expected;
    options.durable = false;
    const FileDescriptor folderFd(::open(folder.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (const bool changeFirst : {true, false}) {
        SCOPED_TRACE(changeFirst ? "changed before the commit" : "unchanged");
        PendingCopy copy;
        ASSERT_TRUE(WriteCopyAt(folderFd.Get(), "source.bin", folderFd.Get(), "destination.bin", options, copy).ok);
        EXPECT_EQ(ReadFile(destination), "old text");
        EXPECT_EQ(CountTemporaryFiles(folder.path()), 1);
        if (changeFirst) {
            WriteFile(destination, "saved meanwhile");
            const Status refused = CommitCopy(copy);
            EXPECT_EQ(refused.messageKey, kCopyChangedKey);
            EXPECT_EQ(ReadFile(destination), "saved meanwhile");
            WriteFile(destination, "old text");
            SetTime(destination, before.st_mtim.tv_sec, before.st_mtim.tv_nsec);
        } else {
            ASSERT_TRUE(CommitCopy(copy).ok);
            EXPECT_EQ(ReadFile(destination), "new text");
        }
        EXPECT_FALSE(copy.IsSet());
        EXPECT_EQ(CountTemporaryFiles(folder.path()), 0);
    }
    {
        PendingCopy dropped;
        ASSERT_TRUE(WriteCopyAt(folderFd.Get(), "source.bin", folderFd.Get(), "other.bin", {}, dropped).ok);
    }
    EXPECT_EQ(CountTemporaryFiles(folder.path()), 0);
    EXPECT_FALSE(std::filesystem::exists(folder / "other.bin"));
}

}  // namespace
