#include "util/IsAdministrator.h"

#include <grp.h>
#include <unistd.h>

#include <algorithm>

namespace halvex {

bool IsAdministratorFor(uid_t uid, const std::vector<std::string>& groupNames)
{
    if (uid == 0)
        return true;
    static const char* const kAdminGroups[] = {"sudo", "admin", "wheel"};
    return std::any_of(groupNames.begin(), groupNames.end(), [](const std::string& name) {
        return std::find(std::begin(kAdminGroups), std::end(kAdminGroups), name) != std::end(kAdminGroups);
    });
}

bool IsAdministrator()
{
    std::vector<gid_t> groups;
    const int count = ::getgroups(0, nullptr);
    if (count > 0) {
        groups.resize(static_cast<std::size_t>(count));
        const int got = ::getgroups(count, groups.data());
        groups.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    groups.push_back(::getegid());

    std::vector<std::string> names;
    std::vector<char> buffer(4096);
    for (const gid_t gid : groups) {
        struct group entry {};
        struct group* found = nullptr;
        int rc;
        while ((rc = ::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
               buffer.size() < (1U << 20))
            buffer.resize(buffer.size() * 2);
        if (rc == 0 && found != nullptr && found->gr_name != nullptr)
            names.emplace_back(found->gr_name);
    }
    return IsAdministratorFor(::geteuid(), names);
}

}  // namespace halvex
