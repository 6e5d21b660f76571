#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace halvex::service {

// A request head's size limit, with its request line and every header: the
// suites' checks are a few hundred bytes.
inline constexpr std::size_t kMaxRequestHeadBytes = std::size_t{8} << 10;

// One request of a client, read from its head (request line and header
// lines, up to the empty line) as hostile input. The service takes no
// request body: a check and a download have none.
struct HttpRequest {
    std::string method;  // "GET" or "HEAD"
    std::string target;  // as sent: "/check-update.php?id=01&ver=1.0.0"
    std::string path;    // the target up to "?", percent-decoded
    std::string query;   // after "?", as sent
    bool keepAlive = true;
    std::string range;  // the Range header's value; empty without one
};

struct RequestHead {
    HttpRequest request;
    // 0, or the status to refuse the request with before closing the
    // connection: 400 malformed, 405 another method, 413 a body, 505 a
    // version other than 1.0 and 1.1.
    int refusal = 0;
};

// `head` is the text up to and including the empty line that ends it.
RequestHead ParseRequestHead(std::string_view head);

// The part of a file a Range header asks for. One range only: a request
// naming several, another unit or a value that cannot be read is answered
// with the whole file, so that no request yields more bytes than its file.
struct ByteRange {
    enum class Kind { Whole, Part, Unsatisfiable } kind = Kind::Whole;
    std::uint64_t first = 0;
    std::uint64_t length = 0;
};
ByteRange ChooseByteRange(std::string_view range, std::uint64_t fileSize);

}  // namespace halvex::service
