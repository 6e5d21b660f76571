#pragma once

namespace halvex {

// What the user said about starting the suite from a drive that is not
// trusted: start it this once, start it and trust it, leave it; or no
// question could be asked.
enum class DriveAnswer { Start, Always, NotNow, NoQuestion };

}  // namespace halvex
