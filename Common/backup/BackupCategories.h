#pragma once

#include <array>
#include <string>
#include <vector>

// The file categories of a backup profile and the rules for their names and
// extension lists. An extension list is "doc:rtf:txt:": every extension is
// followed by a colon, so two lists join by plain concatenation.
namespace halvex {

struct PredefinedCategory {
    const char* key;  // the word of the settings files
    int nameLabel;    // label number of the display name ("m6" ...)
    int listLabel;    // label number of the default list ("m1" ...), 0 for "All"
};

// In the order the settings files and the combined list use.
inline constexpr std::array<PredefinedCategory, 5> kPredefinedCategories{{
    {"All", 6, 0},
    {"Document", 7, 1},
    {"Movie", 8, 2},
    {"Music", 9, 3},
    {"Picture", 10, 4},
}};
inline constexpr std::size_t kAllCategory = 0;
inline constexpr const char* kAllPattern = "*";
// The settings files of the other build hold at most this many user categories,
// and each name or list at most this many UTF-8 bytes.
inline constexpr std::size_t kMaxUserCategories = 128;
inline constexpr std::size_t kMaxSettingBytes = 259;
inline constexpr const char* kUserCategoryKey = "User Category";

struct UserCategory {
    std::string name;
    std::string types;  // extension list with the trailing colon
    bool checked = false;
};

// The extensions of a list, empty tokens dropped.
std::vector<std::string> SplitExtensionList(const std::string& list);

// The list a run backs up: "*" alone when "All" is checked; otherwise the
// lists of the checked predefined categories in the order Document, Movie,
// Music, Picture, then the checked user categories in number order.
std::string CombinedExtensionList(const std::array<bool, 5>& predefinedChecked,
                                  const std::array<std::string, 5>& predefinedLists,
                                  const std::vector<UserCategory>& userCategories);

// A category name may not hold " < > | \ / * ? (nor a control character).
bool IsValidCategoryName(const std::string& name);
// A backup set name is a folder name on every build's drive: not empty, at
// most 255 bytes, none of " < > | \ / * ? : nor a control character, and not
// made of dots only. (A dot anywhere is refused by the profile's own check.)
bool IsValidSetName(const std::string& name);
// File types may hold only ASCII letters, digits and the colon separator.
bool IsValidTypeList(const std::string& types);
// The list with a trailing colon added when missing.
std::string WithTrailingColon(const std::string& types);
// True when some extension occurs twice in the list.
bool HasDuplicateType(const std::string& types);

}  // namespace halvex
