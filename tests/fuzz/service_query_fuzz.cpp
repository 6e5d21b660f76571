// The update service's readers: a query, then "\n--\n", then a release list.
#include "CheckUpdateQuery.h"
#include "FuzzSupport.h"
#include "update/KXAutoUpdate.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace halvex::service;
    if (size > kMaxReleaseListBytes + kMaxQueryBytes + 8)
        return 0;
    const auto fields = halvex::fuzz::SplitFields(halvex::fuzz::AsText(data, size), 2);
    const ReleaseList list = ParseReleaseList(fields[1]);
    for (const Release& release : list.releases)
        halvex::fuzz::Check(UsableId(release.id) && UsableVersion(release.version) && UsablePackagePath(release.url) &&
                                ("/" + release.url).find("/.") == std::string::npos && UsableDigest(release.sha256),
                            "an unusable release was kept");
    const std::string reply = CheckReply(&list, fields[0]);
    // The suite understands every reply: an offer of a listed, newer release,
    // or an error number.
    KXAutoUpdate update;
    const bool understood = update.ParseData(reply.c_str()).ok;
    if (update.m_bUpdateAvailable) {
        const std::optional<CheckQuery> query = ParseCheckQuery(fields[0]);
        halvex::fuzz::Check(query.has_value(), "an offer for a malformed query");
        const Release* newest = NewestRelease(list, query->id);
        halvex::fuzz::Check(newest && newest->version == update.m_strVersion && newest->url == update.m_strURL &&
                                CompareVersions(update.m_strVersion, query->version) > 0,
                            "the offer is not the newest, newer release");
    } else {
        halvex::fuzz::Check(understood == (update.m_nError == 0) && update.m_nError >= 0 && update.m_nError <= 3,
                            "a reply the suite cannot read");
    }
    return 0;
}
