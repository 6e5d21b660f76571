#pragma once

#include <string>

namespace halvex {

// "1.0.0.1": the four numbers of the suite's version.
std::string SuiteVersionText();

// "1.0.0": the first three numbers, as the update service expects them.
std::string SuiteVersionForUpdate();

}  // namespace halvex
