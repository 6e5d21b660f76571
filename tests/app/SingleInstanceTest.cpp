#include "app/main/SingleInstance.h"

#include <QLocalSocket>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "toolkit/PathText.h"

namespace {

struct RequestCase {
    QByteArray line;
    std::optional<QString> token;
};

TEST(SingleInstance, RequestLinesGiveTheirTokenOnlyWhenItIsPlainAndShort)
{
    const RequestCase cases[] = {
        {"show\n", QString()},
        {"show", QString()},
        {"show kwin-4f1a_9:2\n", QStringLiteral("kwin-4f1a_9:2")},
        {"show \n", QString()},
        {"show two words\n", QString()},
        {"show t\xc3\xa9"
         "st\n",
         QString()},
        {"show " + QByteArray(255, 'a') + "\n", QString(255, QLatin1Char('a'))},
        {"show " + QByteArray(256, 'a') + "\n", QString()},
        {"shows\n", std::nullopt},
        {"hello\n", std::nullopt},
        {"\n", std::nullopt},
    };
    for (const RequestCase& c : cases) {
        SCOPED_TRACE(c.line.left(40).toStdString());
        EXPECT_EQ(SingleInstance::ShowRequestToken(c.line), c.token);
    }
}

TEST(SingleInstance, ASecondStartHandsItsTokenToTheFirst)
{
    const halvex::test::TempFolder folder("instance");
    SingleInstance first(folder.path(), QStringLiteral("Test"));
    ASSERT_TRUE(first.Acquire());
    QSignalSpy shown(&first, &SingleInstance::showRequested);

    SingleInstance second(folder.path(), QStringLiteral("Test"));
    EXPECT_FALSE(second.Acquire());
    EXPECT_TRUE(second.NotifyRunning(QStringLiteral("token-from-desktop")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.count() == 1; }, 3000));
    EXPECT_EQ(shown.at(0).at(0).toString(), QStringLiteral("token-from-desktop"));

    // A copy of an older version sends the bare request.
    EXPECT_TRUE(second.NotifyRunning());
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.count() == 2; }, 3000));
    EXPECT_EQ(shown.at(1).at(0).toString(), QString());
}

TEST(SingleInstance, AnEndlessRequestIsDroppedAndTheNextOneStillHeard)
{
    const halvex::test::TempFolder folder("instance");
    SingleInstance first(folder.path(), QStringLiteral("Test"));
    ASSERT_TRUE(first.Acquire());
    QSignalSpy shown(&first, &SingleInstance::showRequested);

    QLocalSocket flood;
    flood.connectToServer(PathText(folder.path() / "Test"));
    ASSERT_TRUE(flood.waitForConnected(3000));
    flood.write("show " + QByteArray(4096, 'x'));
    ASSERT_TRUE(flood.waitForBytesWritten(3000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return flood.state() == QLocalSocket::UnconnectedState; }, 3000));
    EXPECT_EQ(shown.count(), 0);

    SingleInstance second(folder.path(), QStringLiteral("Test"));
    EXPECT_TRUE(second.NotifyRunning(QStringLiteral("abc")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.count() == 1; }, 3000));
    EXPECT_EQ(shown.at(0).at(0).toString(), QStringLiteral("abc"));
}

}  // namespace
