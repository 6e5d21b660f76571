#include "HttpRequest.h"

#include <gtest/gtest.h>

namespace {

using namespace halvex::service;

TEST(HttpRequestTest, HeadsAreReadOrRefused)
{
    struct Case {
        const char* head;
        int refusal;
        bool keepAlive = false;
        const char* path = "";
        const char* query = "";
    };
    const Case cases[] = {
        {"GET /check-update.php?id=01&ver=1.0.0 HTTP/1.1\r\nHost: x\r\n\r\n", 0, true, "/check-update.php",
         "id=01&ver=1.0.0"},
        {"HEAD /p.zip HTTP/1.1\n\n", 0, true, "/p.zip", ""},
        {"GET / HTTP/1.0\r\n\r\n", 0, false, "/", ""},
        {"GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", 0, true, "/", ""},
        {"GET / HTTP/1.1\r\nconnection: te, Close\r\n\r\n", 0, false, "/", ""},
        {"GET / HTTP/1.1\r\nContent-Length: 0\r\n\r\n", 0, true, "/", ""},
        // Decoded, so that an encoded ".." is compared as what it is.
        {"GET /packages/%2e%2E/releases.list HTTP/1.1\r\n\r\n", 0, true, "/packages/../releases.list", ""},
        {"GET /a%00b HTTP/1.1\r\n\r\n", 400},
        {"GET /a%zz HTTP/1.1\r\n\r\n", 400},
        {"GET /a%2 HTTP/1.1\r\n\r\n", 400},
        {"GET  / HTTP/1.1\r\n\r\n", 400},
        {"GET / HTTP/1.1 x\r\n\r\n", 400},
        {"GET http://host/ HTTP/1.1\r\n\r\n", 400},
        {"GET /\x7f HTTP/1.1\r\n\r\n", 400},
        {"GET / HTTPS/1.1\r\n\r\n", 400},
        {"G(T / HTTP/1.1\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nX-Folded: a\r\n b\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nBad Name: x\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nno colon\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nHost: x\r\n", 400},
        {"GET / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nContent-Length: 5\r\n\r\n", 413},
        {"GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", 413},
        {"POST /check-update.php HTTP/1.1\r\n\r\n", 405},
        {"GET / HTTP/2.0\r\n\r\n", 505},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.head);
        const RequestHead head = ParseRequestHead(c.head);
        EXPECT_EQ(head.refusal, c.refusal);
        if (c.refusal != 0)
            continue;
        EXPECT_EQ(head.request.keepAlive, c.keepAlive);
        EXPECT_EQ(head.request.path, c.path);
        EXPECT_EQ(head.request.query, c.query);
    }

    std::string many = "GET / HTTP/1.1\r\n";
    for (int i = 0; i < 100; ++i)
        many += "X: y\r\n";
    EXPECT_EQ(ParseRequestHead(many + "\r\n").refusal, 400);
    EXPECT_EQ(ParseRequestHead("GET /" + std::string(kMaxRequestHeadBytes, 'a') + " HTTP/1.1\r\n\r\n").refusal, 431);
    // Two Range headers ask for two ranges: the whole file.
    EXPECT_EQ(ParseRequestHead("GET / HTTP/1.1\r\nRange: bytes=0-1\r\nRange: bytes=2-3\r\n\r\n").request.range, "");
    EXPECT_EQ(ParseRequestHead("GET / HTTP/1.1\r\nRange:  bytes=0-1 \r\n\r\n").request.range, "bytes=0-1");
}

TEST(HttpRequestTest, OneRangeAtMostIsServed)
{
    using Kind = ByteRange::Kind;
    struct Case {
        const char* range;
        std::uint64_t size;
        Kind kind;
        std::uint64_t first, length;
    };
    const Case cases[] = {
        {"", 100, Kind::Whole, 0, 100},
        {"bytes=0-9", 100, Kind::Part, 0, 10},
        {"BYTES= 90-", 100, Kind::Part, 90, 10},
        {"bytes=90-500", 100, Kind::Part, 90, 10},
        {"bytes=99-99", 100, Kind::Part, 99, 1},
        {"bytes=-10", 100, Kind::Part, 90, 10},
        {"bytes=-500", 100, Kind::Part, 0, 100},
        {"bytes=-0", 100, Kind::Unsatisfiable, 0, 0},
        {"bytes=100-", 100, Kind::Unsatisfiable, 0, 0},
        {"bytes=0-", 0, Kind::Unsatisfiable, 0, 0},
        {"bytes=-5", 0, Kind::Unsatisfiable, 0, 0},
        {"bytes=5-4", 100, Kind::Whole, 0, 100},
        {"bytes=0-99,0-99", 100, Kind::Whole, 0, 100},
        {"bytes=0-9, 20-29", 100, Kind::Whole, 0, 100},
        {"items=0-9", 100, Kind::Whole, 0, 100},
        {"bytes=", 100, Kind::Whole, 0, 100},
        {"bytes=-", 100, Kind::Whole, 0, 100},
        {"bytes=a-9", 100, Kind::Whole, 0, 100},
        {"bytes=+1-9", 100, Kind::Whole, 0, 100},
        {"bytes=18446744073709551616-", 100, Kind::Whole, 0, 100},
        {"bytes=0-18446744073709551615", 100, Kind::Part, 0, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.range);
        const ByteRange range = ChooseByteRange(c.range, c.size);
        EXPECT_EQ(range.kind, c.kind);
        EXPECT_EQ(range.first, c.first);
        EXPECT_EQ(range.length, c.length);
    }
}

}  // namespace
