#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace halvex {

// True for user id 0 or a member of "sudo", "admin" or "wheel".
bool IsAdministratorFor(uid_t uid, const std::vector<std::string>& groupNames);

// The same for the current process (effective user, all its groups).
bool IsAdministrator();

}  // namespace halvex
