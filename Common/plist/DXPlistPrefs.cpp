#include "plist/DXPlistPrefs.h"

#include <tinyxml.h>

DXPlistPrefs::DXPlistPrefs(std::filesystem::path path) : m_path(std::move(path)) { Load(); }
DXPlistPrefs::DXPlistPrefs(const std::filesystem::path& folder, std::string_view name)
    : DXPlistPrefs(folder / ("com." + std::string(name) + ".plist")) {}
DXPlistPrefs::~DXPlistPrefs() = default;
void DXPlistPrefs::SetFilePath(std::filesystem::path path) { m_path = std::move(path); }
void DXPlistPrefs::SetComment(std::string_view comment) { m_strComment = comment; }
bool DXPlistPrefs::Load() { m_mapValues.clear(); m_mapArrays.clear(); return false; }
bool DXPlistPrefs::LoadText(std::string_view) { return Load(); }
bool DXPlistPrefs::Update() const { return false; }
std::string DXPlistPrefs::ToText() const { return {}; }
bool DXPlistPrefs::FindValue(std::string_view, PrefsValue&) const { return false; }
bool DXPlistPrefs::GetValue(std::string_view, bool& out, bool d) const { out = d; return false; }
bool DXPlistPrefs::GetValue(std::string_view, double& out, double d) const { out = d; return false; }
bool DXPlistPrefs::GetValue(std::string_view, long& out, long d) const { out = d; return false; }
bool DXPlistPrefs::GetValue(std::string_view, std::string& out, std::string_view d) const { out = d; return false; }
void DXPlistPrefs::SetValue(std::string_view, bool) {}
void DXPlistPrefs::SetValue(std::string_view, double) {}
void DXPlistPrefs::SetValue(std::string_view, long) {}
void DXPlistPrefs::SetValue(std::string_view, std::string_view) {}
bool DXPlistPrefs::Remove(std::string_view) { return false; }
std::size_t DXPlistPrefs::GetArrayCount(std::string_view) const { return 0; }
bool DXPlistPrefs::FindArrayValue(std::string_view, std::size_t, PrefsValue&) const { return false; }
bool DXPlistPrefs::GetArrayValue(std::string_view, std::size_t, bool& out, bool d) const { out = d; return false; }
bool DXPlistPrefs::GetArrayValue(std::string_view, std::size_t, double& out, double d) const { out = d; return false; }
bool DXPlistPrefs::GetArrayValue(std::string_view, std::size_t, long& out, long d) const { out = d; return false; }
bool DXPlistPrefs::GetArrayValue(std::string_view, std::size_t, std::string& out, std::string_view d) const { out = d; return false; }
void DXPlistPrefs::SetArrayValue(std::string_view, bool) {}
void DXPlistPrefs::SetArrayValue(std::string_view, double) {}
void DXPlistPrefs::SetArrayValue(std::string_view, long) {}
void DXPlistPrefs::SetArrayValue(std::string_view, std::string_view) {}
void DXPlistPrefs::SetArrayKey(std::string_view) {}
bool DXPlistPrefs::AddArrayElement(std::string_view, const TiXmlElement&) { return false; }
void DXPlistPrefs::RemoveArray(std::string_view) {}
