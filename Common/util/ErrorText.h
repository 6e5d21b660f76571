#pragma once

#include <string>

namespace halvex {

// "Error %d: %s": how system errors are shown to the user.
std::string ErrorText(int error);

}  // namespace halvex
