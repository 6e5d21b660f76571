#include "CheckUpdateQuery.h"

namespace halvex::service {

namespace {

constexpr int kMaxParameters = 8;

std::string Reply(const std::string& attributes)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<response><update " + attributes + "/></response>\n";
}

}  // namespace

std::optional<CheckQuery> ParseCheckQuery(std::string_view query)
{
    CheckQuery parsed;
    if (query.size() > kMaxQueryBytes)
        return std::nullopt;
    bool haveId = false, haveVersion = false;
    int parameters = 0;
    std::size_t start = 0;
    while (start <= query.size()) {
        const std::size_t end = std::min(query.find('&', start), query.size());
        const std::string_view pair = query.substr(start, end - start);
        start = end + 1;
        if (++parameters > kMaxParameters)
            return std::nullopt;
        const std::size_t equals = pair.find('=');
        const std::string_view key = pair.substr(0, equals);
        const std::string_view value = equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1);
        if (key == "id") {
            if (haveId || !UsableId(value))
                return std::nullopt;
            parsed.id = value;
            haveId = true;
        } else if (key == "ver") {
            if (haveVersion || !UsableVersion(value))
                return std::nullopt;
            parsed.version = value;
            haveVersion = true;
        }
    }
    if (!haveId || !haveVersion)
        return std::nullopt;
    return parsed;
}

std::string ErrorReply(ServiceError error)
{
    return Reply("error=\"" + std::to_string(static_cast<int>(error)) + "\"");
}

std::string OfferReply(const Release& release)
{
    // A release of the list holds digits, letters, dots, dashes, underscores,
    // slashes, "+" and "=" only (see ParseReleaseList): nothing to escape in XML.
    std::string attributes =
        "version=\"" + release.version + "\" url=\"" + release.url + "\" sha256=\"" + release.sha256 + "\"";
    if (!release.signature.empty())
        attributes += " signature=\"" + release.signature + "\"";
    return Reply(attributes);
}

std::string CheckReply(const ReleaseList* list, std::string_view query)
{
    const std::optional<CheckQuery> parsed = ParseCheckQuery(query);
    if (!parsed)
        return ErrorReply(ServiceError::MalformedQuery);
    if (!list)
        return ErrorReply(ServiceError::NoReleaseList);
    const Release* newest = NewestRelease(*list, parsed->id);
    if (!newest)
        return ErrorReply(ServiceError::UnknownId);
    if (CompareVersions(newest->version, parsed->version) <= 0)
        return ErrorReply(ServiceError::UpToDate);
    return OfferReply(*newest);
}

}  // namespace halvex::service
