#include "backup/BackupStrings.h"

namespace halvex {

namespace {

std::string Lookup(const std::map<int, std::string>& map, int number)
{
    const auto found = map.find(number);
    return found == map.end() ? std::string() : found->second;
}

}  // namespace

std::string BackupStrings::Message(int number) const { return Lookup(m_mapMessages, number); }
std::string BackupStrings::Explanation(int number) const { return Lookup(m_mapExplanations, number); }
std::string BackupStrings::Label(int number) const { return Lookup(m_mapLabels, number); }

void BackupStrings::SetMessage(int number, std::string text) { m_mapMessages[number] = std::move(text); }
void BackupStrings::SetExplanation(int number, std::string text) { m_mapExplanations[number] = std::move(text); }
void BackupStrings::SetLabel(int number, std::string text) { m_mapLabels[number] = std::move(text); }

const BackupStrings& BackupStrings::BuiltIn()
{
    static const BackupStrings table;
    return table;
}

std::filesystem::path BackupStrings::FileFor(const std::filesystem::path& resources, const std::string& language)
{
    return resources / (language + ".lproj") / "BackupRestore.plist";
}

}  // namespace halvex
