#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Number texts of the property-list format. Reading and printing ignore the
// process locale: a Qt program switches LC_NUMERIC to the user's locale,
// where "1.5" would read as 1 and print as "1,500000".
namespace halvex::plist {

// atoi's rule: leading white space, a sign, then the leading digits ("12abc"
// is 12, "2.9" is 2, no digits 0). Saturates at the 32-bit range instead of
// overflowing, since the other builds hold integers in 32 bits.
std::int32_t ReadInteger(std::string_view text);
// atof's rule in the C locale ("1.5x" is 1.5, no number 0.0).
double ReadReal(std::string_view text);

std::int32_t ClampToInt32(long value);

// "%ld" and "%lf" in the C locale (0.5 prints as 0.500000).
std::string IntegerText(long value);
std::string RealText(double value);

}  // namespace halvex::plist
