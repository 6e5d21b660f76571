// The update service's request heads and Range headers, straight from the
// network.
#include "FuzzSupport.h"
#include "HttpRequest.h"

#include <algorithm>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace halvex::service;
    if (size > 2 * kMaxRequestHeadBytes)
        return 0;
    const std::string_view head = halvex::fuzz::AsText(data, size);
    const RequestHead parsed = ParseRequestHead(head);
    const HttpRequest& request = parsed.request;
    if (parsed.refusal == 0) {
        halvex::fuzz::Check(request.method == "GET" || request.method == "HEAD", "another method was taken");
        halvex::fuzz::Check(
            !request.path.empty() && request.path.front() == '/' && request.path.find('\0') == std::string::npos,
            "a path that is not absolute or holds a NUL");
        halvex::fuzz::Check(
            std::all_of(request.target.begin(), request.target.end(), [](char c) { return c > 0x20 && c < 0x7f; }),
            "a target with white space or control characters");
    }
    // Whatever the Range says, no more than the file: the head itself serves
    // as a Range value too, for values the request line would never pass.
    for (const std::string_view range : {std::string_view(request.range), head})
        for (const std::uint64_t fileSize : {0ull, 1ull, 100ull, 20'000'000ull}) {
            const ByteRange chosen = ChooseByteRange(range, fileSize);
            if (chosen.kind == ByteRange::Kind::Part)
                halvex::fuzz::Check(
                    chosen.length > 0 && chosen.first < fileSize && chosen.length <= fileSize - chosen.first,
                    "a range beyond the file");
            else if (chosen.kind == ByteRange::Kind::Whole)
                halvex::fuzz::Check(chosen.first == 0 && chosen.length == fileSize, "a whole file that is not");
        }
    return 0;
}
