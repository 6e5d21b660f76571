#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace halvex {

// The licence is kept as RTF; the windows show HTML. This reads the part of RTF the
// licence texts use: paragraphs and line breaks, bold, italic, underline and
// font sizes, \uN and \'hh characters, escaped braces and backslashes, and
// HYPERLINK fields. Other destinations (font and colour tables, pictures,
// "\*" groups) are skipped. Damaged input gives what could be read: nesting
// and output are bounded.
std::string RtfToHtml(std::string_view rtf);

// The file read with a size limit, converted; empty when it cannot be read.
inline constexpr std::size_t kMaxRtfFileSize = std::size_t{4} * 1024 * 1024;
std::string RtfFileToHtml(const std::filesystem::path& file);

}  // namespace halvex
