#include "backup/BackupCategories.h"

#include <set>

namespace halvex {

std::vector<std::string> SplitExtensionList(const std::string& list)
{
    std::vector<std::string> tokens;
    std::size_t start = 0;
    while (start <= list.size()) {
        const auto colon = list.find(':', start);
        const auto end = colon == std::string::npos ? list.size() : colon;
        if (end > start)
            tokens.push_back(list.substr(start, end - start));
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    return tokens;
}

std::string CombinedExtensionList(const std::array<bool, 5>& predefinedChecked,
                                  const std::array<std::string, 5>& predefinedLists,
                                  const std::vector<UserCategory>& userCategories)
{
    if (predefinedChecked[kAllCategory])
        return kAllPattern;
    std::string combined;
    for (std::size_t i = 1; i < kPredefinedCategories.size(); ++i)
        if (predefinedChecked[i])
            combined += predefinedLists[i];
    for (const auto& category : userCategories)
        if (category.checked)
            combined += category.types;
    return combined;
}

bool IsValidCategoryName(const std::string& name)
{
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20)
            return false;
        switch (c) {
        case '"':
        case '<':
        case '>':
        case '|':
        case '\\':
        case '/':
        case '*':
        case '?': return false;
        default: break;
        }
    }
    return true;
}

bool IsValidSetName(const std::string& name)
{
    if (name.empty() || name.size() > 255 || name.find_first_not_of('.') == std::string::npos)
        return false;
    return IsValidCategoryName(name) && name.find(':') == std::string::npos;
}

bool IsValidTypeList(const std::string& types)
{
    for (const char c : types) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':';
        if (!ok)
            return false;
    }
    return true;
}

std::string WithTrailingColon(const std::string& types)
{
    if (!types.empty() && types.back() != ':')
        return types + ':';
    return types;
}

bool HasDuplicateType(const std::string& types)
{
    std::set<std::string> seen;
    for (const auto& token : SplitExtensionList(types))
        if (!seen.insert(token).second)
            return true;
    return false;
}

}  // namespace halvex
