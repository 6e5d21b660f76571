#pragma once

// The system and command-line tests take their temporary folder and scoped
// environment variables from the shared test support.

#include "TestFiles.h"

namespace halvex::test {

using ScopedEnv = ScopedEnvironment;

}  // namespace halvex::test
