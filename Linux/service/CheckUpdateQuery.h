#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ReleaseList.h"

namespace halvex::service {

// The error numbers of a reply's update element. The suites read 0 as
// "nothing new" and any other number as a failed check.
enum class ServiceError {
    UpToDate = 0,
    UnknownId = 1,
    MalformedQuery = 2,
    NoReleaseList = 3,
};

// "id=01&ver=1.0.0", as the suites send it: nothing percent-encoded.
struct CheckQuery {
    std::string id;
    std::string version;
};

inline constexpr std::size_t kMaxQueryBytes = 512;

// The query's "id" and "ver", each exactly once and usable (see
// ReleaseList.h); other parameters are passed over, eight at most. Nothing
// for any other query: the reply then says it was malformed.
std::optional<CheckQuery> ParseCheckQuery(std::string_view query);

// The reply to "check-update.php?<query>": an offer of the newest release
// for the identifier when it is newer than the caller's version, else an
// error reply. `list` is null when the release list could not be read.
std::string CheckReply(const ReleaseList* list, std::string_view query);

// <response><update error="N"/></response>
std::string ErrorReply(ServiceError error);
// <response><update version=".." url=".." sha256=".." signature=".."/></response>
// of a release that ParseReleaseList kept (no signature attribute when its
// line has none).
std::string OfferReply(const Release& release);

}  // namespace halvex::service
