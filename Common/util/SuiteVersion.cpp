#include "util/SuiteVersion.h"

#include "HalvexVersion.h"

namespace halvex {

std::string SuiteVersionText()
{
    return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
           std::to_string(kVersionPatch) + "." + std::to_string(kVersionBuild);
}

std::string SuiteVersionForUpdate()
{
    return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
           std::to_string(kVersionPatch);
}

}  // namespace halvex
