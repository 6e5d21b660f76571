#pragma once

namespace halvex {

// The string-table keys of a file the suite reads or writes that failed; the
// Status beside them names the file and the system's reason.
inline constexpr const char* kFileReadErrorKey = "file_read_err";
inline constexpr const char* kFileSaveErrorKey = "file_save_err";

}  // namespace halvex
