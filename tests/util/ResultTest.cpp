#include "util/IgnoreResult.h"
#include "util/Result.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>

using halvex::Result;
using halvex::Status;

namespace {

Status Refuse()
{
    return Status::Fail("copy_err", "no space");
}

// The propagation a caller writes: a failed Status passes on unchanged.
Result<int> CountAfter(bool fail)
{
    if (fail)
        if (Status status = Refuse(); !status)
            return Result<int>::From(status);
    return Result<int>::Ok(3);
}

}  // namespace

TEST(Result, CarriesAValueOrTheFailureOfAStatus)
{
    const Result<int> good = CountAfter(false);
    ASSERT_TRUE(good);
    EXPECT_EQ(good.value(), 3);
    EXPECT_TRUE(good.status().ok);
    EXPECT_TRUE(good.messageKey().empty());

    const Result<int> bad = CountAfter(true);
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.messageKey(), "copy_err");
    EXPECT_EQ(bad.detail(), "no space");
    EXPECT_FALSE(bad.status().ok);
    EXPECT_EQ(bad.status().messageKey, "copy_err");
    EXPECT_EQ(bad.ValueOr(-1), -1);
}

TEST(Result, ErrnoFailureNamesTheFileAndTheSystemReason)
{
    const auto failed = Result<std::string>::FailErrno("read_err", "/media/x/a.txt", ENOENT);
    EXPECT_EQ(failed.messageKey(), "read_err");
    EXPECT_EQ(failed.detail(), "/media/x/a.txt: No such file or directory");
    EXPECT_EQ(Status::FailErrno("read_err", "/media/x/a.txt", ENOENT).detail, failed.detail());
    // The errno itself survives, so a caller can tell a full disk from other failures.
    EXPECT_EQ(failed.systemError(), ENOENT);
    EXPECT_FALSE(failed.cancelled());
    EXPECT_EQ(Status::Fail("read_err").systemError, 0);
    // Where the message names the file already, the detail is the reason alone.
    EXPECT_EQ(Status::FailErrno("read_err", ENOSPC).detail, "No space left on device");
    EXPECT_EQ(Status::FailErrno("read_err", ENOSPC).systemError, ENOSPC);

    // Told as the failure of the operation that took the step: its message, the step's reason.
    const Status told = Status::FailErrno("read_err", "/media/x/a.txt", EACCES).As("install_err");
    EXPECT_EQ(told.messageKey, "install_err");
    EXPECT_EQ(told.detail, "/media/x/a.txt: Permission denied");
    EXPECT_EQ(told.systemError, EACCES);
    EXPECT_TRUE(Status::Ok().As("install_err").ok);
}

TEST(Result, ACancelIsAFailureThatNamesNoMessage)
{
    EXPECT_TRUE(Status::Cancelled().cancelled());
    EXPECT_FALSE(Status::Cancelled().ok);
    EXPECT_TRUE(Result<int>::Cancelled().cancelled());
    EXPECT_FALSE(Status::Ok().cancelled());
    EXPECT_FALSE(Status::Fail("copy_err").cancelled());
}

TEST(Result, HoldsAMoveOnlyValue)
{
    Result<std::unique_ptr<int>> made = Result<std::unique_ptr<int>>::Ok(std::make_unique<int>(7));
    ASSERT_TRUE(made);
    std::unique_ptr<int> taken = std::move(made).value();
    ASSERT_TRUE(taken);
    EXPECT_EQ(*taken, 7);
    halvex::IgnoreResult(Refuse(), "only shows that a dropped Status compiles with a reason");
}
