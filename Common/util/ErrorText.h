#pragma once

#include <string>

namespace halvex {

// "Error %d: %s": how system errors are shown to the user.
std::string ErrorText(int error);
// The system's text alone, "Permission denied": the detail of a failure.
std::string ErrnoText(int error);

}  // namespace halvex
