#include "CheckUpdateQuery.h"

#include <gtest/gtest.h>

#include "update/KXAutoUpdate.h"

namespace {

using namespace halvex::service;

const std::string kDigest(64, 'a');
const std::string kSignature = "q8Rk+/" + std::string(80, 'B') + "==";

ReleaseList Releases()
{
    return ParseReleaseList(
        "# published releases\n"
        "01 1.0.1 packages/HalvexDravane-1.0.1.zip " +
        kDigest +
        "\n"
        "01 1.0.10 packages/HalvexDravane-1.0.10.zip " +
        kDigest + " " + kSignature +
        "\n"
        "01 1.0.9 packages/HalvexDravane-1.0.9.zip " +
        kDigest +
        "\n"
        "\n"
        "02 2.0 other/p.zip " +
        kDigest + "\r\n");
}

// What the suite's own reader makes of a reply.
struct Read {
    bool understood;
    bool offer;
    int error;
    std::string version;
    std::string url;
    std::string signature;
};

Read ReadReply(const std::string& reply)
{
    KXAutoUpdate update;
    const bool understood = update.ParseData(reply.c_str()).ok;
    return {understood,          update.m_bUpdateAvailable, update.m_nError,
            update.m_strVersion, update.m_strURL,           update.m_strSignature};
}

TEST(CheckUpdateQuery, RepliesAsTheSuiteReadsThem)
{
    const ReleaseList list = Releases();
    struct Case {
        std::string query;
        bool understood;
        bool offer;
        int error;
        std::string version;
    } cases[] = {
        {"id=01&ver=1.0.0", true, true, 0, "1.0.10"},  // numbers, not text, decide
        {"id=01&ver=1.0.9", true, true, 0, "1.0.10"},
        {"id=01&ver=1.0.10", true, false, 0, ""},     // up to date
        {"id=01&ver=1.0.10.0", true, false, 0, ""},   // a missing number counts as 0
        {"id=01&ver=1.1", true, false, 0, ""},        // newer than any release
        {"ver=1.9&id=02&x=y", true, true, 0, "2.0"},  // any order, other parameters passed over
        {"id=07&ver=1.0.0", false, false, 1, ""},     // unknown identifier
        {"id=01", false, false, 2, ""},
        {"id=01&ver=", false, false, 2, ""},
        {"id=01&ver=1..0", false, false, 2, ""},
        {"id=01&ver=1.0.0&ver=9.0", false, false, 2, ""},  // said twice
        {"id=01&ver=1.0%2e0", false, false, 2, ""},
        {"id=../01&ver=1.0", false, false, 2, ""},
        {"id=01&ver=1234567890.0", false, false, 2, ""},
        {"id=01&ver=1.0.0&a&b&c&d&e&f&g", false, false, 2, ""},
        {"id=01&ver=1.0&" + std::string(600, 'x'), false, false, 2, ""},
        {"", false, false, 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        const Read read = ReadReply(CheckReply(&list, c.query));
        EXPECT_EQ(read.understood, c.understood);
        EXPECT_EQ(read.offer, c.offer);
        EXPECT_EQ(read.error, c.error);
        EXPECT_EQ(read.version, c.version);
    }
    const Read offer = ReadReply(CheckReply(&list, "id=01&ver=1.0.0"));
    EXPECT_EQ(offer.url, "packages/HalvexDravane-1.0.10.zip");
    // The publisher's signature is passed on as it is; a line without one offers none.
    EXPECT_EQ(offer.signature, kSignature);
    EXPECT_EQ(ReadReply(CheckReply(&list, "id=02&ver=1.0")).signature, "");
    EXPECT_EQ(ReadReply(CheckReply(nullptr, "id=01&ver=1.0.0")).error, 3);
}

TEST(ReleaseList, MalformedLinesArePassedOver)
{
    const ReleaseList list = ParseReleaseList("01 1.0.1 packages/ok.zip " + kDigest +
                                              "\n"
                                              "01 1.0.2 ../outside.zip " +
                                              kDigest +
                                              "\n"
                                              "01 1.0.3 /etc/passwd " +
                                              kDigest +
                                              "\n"
                                              "01 1.0.4 packages/.hidden.zip " +
                                              kDigest +
                                              "\n"
                                              "01 1.0.5 packages//p.zip " +
                                              kDigest +
                                              "\n"
                                              "01 1.0.6 packages/p.zip " +
                                              kDigest.substr(1) +
                                              "\n"
                                              "01 1.0.7 packages/p.zip " +
                                              kDigest +
                                              " extra\n"
                                              "01 1.0.11 packages/p.zip " +
                                              kDigest + " " + kSignature +
                                              " more\n"
                                              "01 1.0.12 packages/p.zip " +
                                              kDigest + " " + std::string(132, 'A') +
                                              "\n"
                                              "01 1.0.13 packages/p.zip " +
                                              kDigest + " \"/>" +
                                              "\n"
                                              "01 v1.0.8 packages/p.zip " +
                                              kDigest +
                                              "\n"
                                              "0-1 1.0.9 packages/p.zip " +
                                              kDigest +
                                              "\n"
                                              "01 1.0.10 packages/p q.zip " +
                                              kDigest + "\n");
    ASSERT_EQ(list.releases.size(), 1u);
    EXPECT_EQ(list.releases[0].url, "packages/ok.zip");
    EXPECT_EQ(list.refusedLines, 12u);
}

}  // namespace
