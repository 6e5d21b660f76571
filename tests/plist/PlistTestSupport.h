#pragma once

#include <string>

namespace halvex::test {

// A document in the property-list layout around the given dict content.
inline std::string PlistWith(const std::string& dictContent)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<plist version=\"1.0\">\n<dict>\n" + dictContent +
           "</dict>\n</plist>\n";
}

}  // namespace halvex::test
