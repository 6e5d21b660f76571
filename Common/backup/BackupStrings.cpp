#include "backup/BackupStrings.h"

#include <charconv>

#include "plist/DXPlistPrefs.h"
#include "util/ParseInteger.h"

namespace halvex {

namespace {

std::string Lookup(const std::map<int, std::string>& map, int number)
{
    const auto found = map.find(number);
    return found == map.end() ? std::string() : found->second;
}

// The number after a key's prefix; false for anything else ("Message12x").
bool NumberAfter(const std::string& key, std::string_view prefix, int& number)
{
    if (key.size() <= prefix.size() || key.compare(0, prefix.size(), prefix) != 0)
        return false;
    const auto parsed = ParseInteger<int>(std::string_view(key).substr(prefix.size()));
    if (!parsed || *parsed < 0)
        return false;
    number = *parsed;
    return true;
}

}  // namespace

Status BackupStrings::Load(const std::filesystem::path& file)
{
    DXPlistPrefs plist(file);
    if (plist.Values().empty())
        return Status::Fail("file_read_err", file.string() + ": no property list with texts");
    for (const auto& [key, value] : plist.Values()) {
        if (value.type != DXPlistPrefs::PrefsValue::kString)
            continue;
        int number = 0;
        if (NumberAfter(key, "Message", number) || NumberAfter(key, "", number))
            SetMessage(number, value.strValue);
        else if (NumberAfter(key, "Line", number) || NumberAfter(key, "m", number))
            SetLabel(number, value.strValue);
        else if (NumberAfter(key, "e", number))
            SetExplanation(number, value.strValue);
    }
    return Status::Ok();
}

std::string BackupStrings::Message(int number) const
{
    return Lookup(m_mapMessages, number);
}
std::string BackupStrings::Explanation(int number) const
{
    return Lookup(m_mapExplanations, number);
}
std::string BackupStrings::Label(int number) const
{
    return Lookup(m_mapLabels, number);
}

void BackupStrings::SetMessage(int number, std::string text)
{
    m_mapMessages[number] = std::move(text);
}
void BackupStrings::SetExplanation(int number, std::string text)
{
    m_mapExplanations[number] = std::move(text);
}
void BackupStrings::SetLabel(int number, std::string text)
{
    m_mapLabels[number] = std::move(text);
}

const BackupStrings& BackupStrings::BuiltIn()
{
    static const BackupStrings table;
    return table;
}

std::filesystem::path BackupStrings::FileFor(const std::filesystem::path& resources, const std::string& language)
{
    return resources / (language + ".lproj") / "BackupRestore.plist";
}

int MessageOfKey(const Status& status, std::initializer_list<KeyMessage> table, int otherwise)
{
    for (const KeyMessage& entry : table)
        if (status.messageKey == entry.key)
            return entry.message;
    return otherwise;
}

}  // namespace halvex
