#pragma once

namespace halvex {

// What the user said about starting the suite from a drive that is not
// trusted: start it this once, start it and trust it, leave it.
enum class DriveAnswer { Start, Always, NotNow };

// No question could be asked; the detail says why.
inline constexpr const char* kNoQuestionKey = "err_autorun_no_question";

}  // namespace halvex
