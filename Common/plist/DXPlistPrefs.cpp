#include "plist/DXPlistPrefs.h"

#include <tinyxml.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <optional>
#include <utility>

#include "plist/AtomicFileWrite.h"
#include "plist/BinaryPlist.h"
#include "plist/PlistNumbers.h"
#include "plist/Utf8Limit.h"
#include "plist/SafeXmlParse.h"
#include "util/BoundedRead.h"
#include "util/FileMessageKeys.h"

namespace {

using PrefsValue = DXPlistPrefs::PrefsValue;
using halvex::plist::ClampToInt32;

// TinyXML condenses white space in text by default: "My  Folder" would come
// back as "My Folder", and leading, trailing and line-break white space
// would vanish, so a string value would not survive a round trip. The switch
// is TinyXML's own process-wide setting; it is set once, before the first
// parse of any property list.
void KeepWhiteSpace()
{
    static std::once_flag once;
    std::call_once(once, [] { TiXmlBase::SetCondenseWhiteSpace(false); });
}

// XML wants "\n" line ends; files written on Windows have "\r\n".
std::string NormaliseLineEnds(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string TextOf(const TiXmlElement& element)
{
    const char* text = element.GetText();
    return text ? halvex::ValidUtf8(text) : std::string();
}

std::string CleanText(std::string_view text)
{
    return std::string(halvex::CutUtf8(text, DXPlistPrefs::kMaxTextBytes));
}

// A comment may not hold "--" nor end with '-'; either would make the whole
// document malformed for every reader.
std::string CleanComment(std::string_view comment)
{
    std::string out;
    for (const char c : comment.substr(0, comment.find('\0'))) {
        if (c == '-' && !out.empty() && out.back() == '-')
            out += ' ';
        out += c;
    }
    out = std::string(halvex::CutUtf8(out, DXPlistPrefs::kMaxCommentBytes));
    while (!out.empty() && out.back() == '-')
        out.pop_back();
    return out;
}

// Text beside other nodes of a kept element ("<dict><key>x</key>junk
// <string>y</string></dict>", or next to a comment) means nothing in a
// property list, and the writer's indentation around it would grow the text
// at every save.
// Their texts and attributes are made valid UTF-8 as TextOf does.
void TidyKeptElement(TiXmlElement& element)
{
    for (TiXmlAttribute* attribute = element.FirstAttribute(); attribute; attribute = attribute->Next())
        attribute->SetValue(halvex::ValidUtf8(attribute->ValueStr()));
    // A declaration or doctype inside a value means nothing, and the writer
    // puts its attributes out unescaped: a quote among them would make the
    // whole saved file unreadable.
    for (TiXmlNode* child = element.FirstChild(); child;) {
        TiXmlNode* next = child->NextSibling();
        if (child->ToDeclaration() != nullptr || child->ToUnknown() != nullptr)
            element.RemoveChild(child);
        child = next;
    }
    // The writer puts a text inline only when it is the element's one child.
    const bool mixed = element.FirstChild() != element.LastChild();
    TiXmlNode* child = element.FirstChild();
    while (child) {
        TiXmlNode* next = child->NextSibling();
        if (TiXmlText* text = child->ToText()) {
            if (mixed)
                element.RemoveChild(child);
            else
                text->SetValue(halvex::ValidUtf8(text->ValueStr()));
        } else if (TiXmlElement* inner = child->ToElement()) {
            TidyKeptElement(*inner);
        }
        child = next;
    }
}

// The scalar value of a "string", "integer", "real", "true" or "false"
// element; any other element is kept whole as an unknown value.
PrefsValue ReadScalar(const TiXmlElement& element)
{
    PrefsValue value;
    const std::string& name = element.ValueStr();
    if (name == "string") {
        value.type = PrefsValue::kString;
        value.strValue = CleanText(TextOf(element));
    } else if (name == "integer") {
        value.type = PrefsValue::kInteger;
        value.nValue = halvex::plist::ReadInteger(TextOf(element));
    } else if (name == "real") {
        value.type = PrefsValue::kReal;
        value.dValue = halvex::plist::ReadReal(TextOf(element));
    } else if (name == "true" || name == "false") {
        value.type = PrefsValue::kBoolean;
        value.bValue = name == "true";
    } else {
        value.type = PrefsValue::kUnknown;
        auto* kept = static_cast<TiXmlElement*>(element.Clone());
        TidyKeptElement(*kept);
        value.element.reset(kept);
    }
    return value;
}

TiXmlElement* TextElement(const char* name, std::string_view text)
{
    auto* element = new TiXmlElement(name);
    element->LinkEndChild(new TiXmlText(std::string(text)));
    return element;
}

TiXmlElement* WriteScalar(const PrefsValue& value)
{
    switch (value.type) {
    case PrefsValue::kString: return TextElement("string", value.strValue);
    case PrefsValue::kInteger: return TextElement("integer", halvex::plist::IntegerText(value.nValue));
    case PrefsValue::kReal: return TextElement("real", halvex::plist::RealText(value.dValue));
    case PrefsValue::kBoolean: return new TiXmlElement(value.bValue ? "true" : "false");
    default: break;
    }
    if (value.element) {
        return static_cast<TiXmlElement*>(value.element->Clone());
    }
    // An unknown value always has its element when it came from a file; an
    // empty "data" element keeps the document well formed otherwise.
    return new TiXmlElement("data");
}

template <typename T>
PrefsValue MakeValue(std::int32_t type, T assign)
{
    PrefsValue value;
    value.type = type;
    assign(value);
    return value;
}

}  // namespace

DXPlistPrefs::DXPlistPrefs(std::filesystem::path path) : m_path(std::move(path))
{
    Load();
    m_strComment.clear();
}

DXPlistPrefs::DXPlistPrefs(const std::filesystem::path& folder, std::string_view name)
    : DXPlistPrefs(folder / ("com." + std::string(name) + ".plist"))
{}

DXPlistPrefs::~DXPlistPrefs() = default;

void DXPlistPrefs::SetFilePath(std::filesystem::path path)
{
    m_path = std::move(path);
}

void DXPlistPrefs::SetComment(std::string_view comment)
{
    m_strComment = CleanComment(comment);
}

bool DXPlistPrefs::Load()
{
    m_mapValues.clear();
    m_mapArrays.clear();
    if (m_path.empty())
        return false;
    const halvex::Result<std::string> text = halvex::ReadBoundedFile(m_path, kMaxFileBytes);
    if (!text)
        return false;
    if (LoadText(text.value()))
        return true;
    // The next save would replace what could not be read, with the other
    // computers' entries and every setting in it: it is kept beside.
    if (m_bDamaged && !text.value().empty())
        SetAsideDamagedFile(m_path);
    return false;
}

namespace {

std::mutex g_setAsideMutex;
std::vector<std::filesystem::path> g_setAside;

}  // namespace

void DXPlistPrefs::SetAsideDamagedFile(const std::filesystem::path& file)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char stamp[32] = {};
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H%M", &local);
    const std::string base = file.string() + ".damaged-" + stamp;
    for (int attempt = 1; attempt < 100; ++attempt) {
        const std::filesystem::path aside = attempt == 1 ? base : base + "-" + std::to_string(attempt);
        // Never over another file: a name that is taken is passed over.
        if (::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) {
            const std::lock_guard<std::mutex> lock(g_setAsideMutex);
            g_setAside.push_back(aside);
            return;
        }
        if (errno != EEXIST)
            return;  // a drive mounted read-only: nothing will be written over it either
    }
}

std::vector<std::filesystem::path> DXPlistPrefs::TakeSetAsideFiles()
{
    const std::lock_guard<std::mutex> lock(g_setAsideMutex);
    return std::exchange(g_setAside, {});
}

bool DXPlistPrefs::LoadText(std::string_view xml)
{
    // A reload replaces arrays too, so that memory shows the file and nothing
    // left over from before is written back under a key the file dropped.
    m_mapValues.clear();
    m_mapArrays.clear();
    m_bDamaged = true;
    if (xml.size() > kMaxFileBytes)
        return false;
    std::string converted;
    if (halvex::IsBinaryPlist(xml)) {
        std::optional<std::string> asXml = halvex::BinaryPlistToXml(xml);
        if (!asXml)
            return false;
        converted = std::move(*asXml);
        xml = converted;
    }
    KeepWhiteSpace();
    const std::string text = NormaliseLineEnds(xml);
    TiXmlDocument document;
    if (!halvex::ParseXmlSafely(document, text))
        return false;
    const TiXmlElement* plist = document.FirstChildElement("plist");
    const TiXmlElement* dict = plist ? plist->FirstChildElement("dict") : nullptr;
    if (!dict)
        return false;
    m_bDamaged = false;

    const TiXmlElement* element = dict->FirstChildElement();
    while (element) {
        if (element->ValueStr() != "key") {
            element = element->NextSiblingElement();
            continue;
        }
        const std::string key = TextOf(*element);
        const TiXmlElement* valueElement = element->NextSiblingElement();
        if (!valueElement)
            break;
        element = valueElement->NextSiblingElement();
        if (valueElement->ValueStr().empty())
            continue;
        if (valueElement->ValueStr() == "array") {
            PrefsValue value;
            value.type = PrefsValue::kArray;
            value.strValue = key;
            m_mapValues[key] = std::move(value);
            AddArrayElement(key, *valueElement);
        } else {
            m_mapValues[key] = ReadScalar(*valueElement);
        }
    }
    return !m_mapValues.empty();
}

std::string DXPlistPrefs::ToText() const
{
    TiXmlDocument document;
    document.LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", ""));
    if (!m_strComment.empty())
        document.LinkEndChild(new TiXmlComment(m_strComment.c_str()));
    auto* plist = new TiXmlElement("plist");
    plist->SetAttribute("version", "1.0");
    document.LinkEndChild(plist);
    auto* dict = new TiXmlElement("dict");
    plist->LinkEndChild(dict);

    for (const auto& [key, value] : m_mapValues) {
        dict->LinkEndChild(TextElement("key", key));
        if (value.type != PrefsValue::kArray) {
            dict->LinkEndChild(WriteScalar(value));
            continue;
        }
        auto* array = new TiXmlElement("array");
        if (const auto found = m_mapArrays.find(key); found != m_mapArrays.end()) {
            for (const PrefsValue& entry : found->second)
                array->LinkEndChild(WriteScalar(entry));
        }
        dict->LinkEndChild(array);
    }

    TiXmlPrinter printer;
    document.Accept(&printer);
    return printer.Str();
}

halvex::Status DXPlistPrefs::Update() const
{
    if (m_path.empty())
        return halvex::Status::Fail(halvex::kFileSaveErrorKey, "no settings file was named");
    const std::string text = ToText();
    // A file this store could not read back would lose every setting at the
    // next start; the file as it was is the better one to keep.
    if (DXPlistPrefs check; !m_mapValues.empty() && !check.LoadText(text))
        return halvex::Status::Fail(halvex::kFileSaveErrorKey, m_path.string() + ": the settings would not read back");
    return halvex::WriteFileAtomic(m_path, text);
}

bool DXPlistPrefs::FindValue(std::string_view key, PrefsValue& value) const
{
    const auto found = m_mapValues.find(key);
    if (found == m_mapValues.end())
        return false;
    value = found->second;
    return true;
}

namespace {

// The typed reads shared by values and array entries: out = default unless
// the value has the asked type.
bool Take(const PrefsValue* value, bool& out, bool defaultValue)
{
    out = defaultValue;
    if (!value || value->type != PrefsValue::kBoolean)
        return false;
    out = value->bValue;
    return true;
}

bool Take(const PrefsValue* value, double& out, double defaultValue)
{
    out = defaultValue;
    if (!value || value->type != PrefsValue::kReal)
        return false;
    out = value->dValue;
    return true;
}

bool Take(const PrefsValue* value, long& out, long defaultValue)
{
    out = defaultValue;
    if (!value || value->type != PrefsValue::kInteger)
        return false;
    out = value->nValue;
    return true;
}

bool Take(const PrefsValue* value, std::string& out, std::string_view defaultValue)
{
    out = defaultValue;
    if (!value || value->type != PrefsValue::kString)
        return false;
    out = value->strValue;
    return true;
}

template <typename Map>
const PrefsValue* Lookup(const Map& map, std::string_view key)
{
    const auto found = map.find(key);
    return found == map.end() ? nullptr : &found->second;
}

const PrefsValue* LookupEntry(const DXPlistPrefs::ArrayMap& map, std::string_view key, std::size_t index)
{
    const auto found = map.find(key);
    if (found == map.end() || index >= found->second.size())
        return nullptr;
    return &found->second[index];
}

PrefsValue BoolValue(bool v)
{
    return MakeValue(PrefsValue::kBoolean, [v](PrefsValue& value) { value.bValue = v; });
}

PrefsValue RealValue(double v)
{
    return MakeValue(PrefsValue::kReal, [v](PrefsValue& value) { value.dValue = v; });
}

PrefsValue IntegerValue(long v)
{
    return MakeValue(PrefsValue::kInteger, [v](PrefsValue& value) { value.nValue = ClampToInt32(v); });
}

PrefsValue StringValue(std::string_view v)
{
    return MakeValue(PrefsValue::kString, [v](PrefsValue& value) { value.strValue = CleanText(v); });
}

}  // namespace

bool DXPlistPrefs::GetValue(std::string_view key, bool& out, bool defaultValue) const
{
    return Take(Lookup(m_mapValues, key), out, defaultValue);
}

bool DXPlistPrefs::GetValue(std::string_view key, double& out, double defaultValue) const
{
    return Take(Lookup(m_mapValues, key), out, defaultValue);
}

bool DXPlistPrefs::GetValue(std::string_view key, long& out, long defaultValue) const
{
    return Take(Lookup(m_mapValues, key), out, defaultValue);
}

bool DXPlistPrefs::GetValue(std::string_view key, std::string& out, std::string_view defaultValue) const
{
    return Take(Lookup(m_mapValues, key), out, defaultValue);
}

void DXPlistPrefs::SetValue(std::string_view key, bool value)
{
    m_mapValues[std::string(key)] = BoolValue(value);
}

void DXPlistPrefs::SetValue(std::string_view key, double value)
{
    m_mapValues[std::string(key)] = RealValue(value);
}

void DXPlistPrefs::SetValue(std::string_view key, long value)
{
    m_mapValues[std::string(key)] = IntegerValue(value);
}

void DXPlistPrefs::SetValue(std::string_view key, std::string_view value)
{
    m_mapValues[std::string(key)] = StringValue(value);
}

bool DXPlistPrefs::Remove(std::string_view key)
{
    const auto found = m_mapValues.find(key);
    if (found == m_mapValues.end())
        return false;
    m_mapValues.erase(found);
    return true;
}

std::size_t DXPlistPrefs::GetArrayCount(std::string_view key) const
{
    const auto found = m_mapArrays.find(key);
    return found == m_mapArrays.end() ? 0 : found->second.size();
}

bool DXPlistPrefs::FindArrayValue(std::string_view key, std::size_t index, PrefsValue& value) const
{
    const PrefsValue* entry = LookupEntry(m_mapArrays, key, index);
    if (!entry)
        return false;
    value = *entry;
    return true;
}

bool DXPlistPrefs::GetArrayValue(std::string_view key, std::size_t index, bool& out, bool defaultValue) const
{
    return Take(LookupEntry(m_mapArrays, key, index), out, defaultValue);
}

bool DXPlistPrefs::GetArrayValue(std::string_view key, std::size_t index, double& out, double defaultValue) const
{
    return Take(LookupEntry(m_mapArrays, key, index), out, defaultValue);
}

bool DXPlistPrefs::GetArrayValue(std::string_view key, std::size_t index, long& out, long defaultValue) const
{
    return Take(LookupEntry(m_mapArrays, key, index), out, defaultValue);
}

bool DXPlistPrefs::GetArrayValue(std::string_view key, std::size_t index, std::string& out,
                                 std::string_view defaultValue) const
{
    return Take(LookupEntry(m_mapArrays, key, index), out, defaultValue);
}

void DXPlistPrefs::SetArrayValue(std::string_view key, bool value)
{
    m_mapArrays[std::string(key)].push_back(BoolValue(value));
}

void DXPlistPrefs::SetArrayValue(std::string_view key, double value)
{
    m_mapArrays[std::string(key)].push_back(RealValue(value));
}

void DXPlistPrefs::SetArrayValue(std::string_view key, long value)
{
    m_mapArrays[std::string(key)].push_back(IntegerValue(value));
}

void DXPlistPrefs::SetArrayValue(std::string_view key, std::string_view value)
{
    m_mapArrays[std::string(key)].push_back(StringValue(value));
}

void DXPlistPrefs::SetArrayKey(std::string_view key)
{
    PrefsValue value;
    value.type = PrefsValue::kArray;
    value.strValue = key;
    m_mapValues[std::string(key)] = std::move(value);
}

bool DXPlistPrefs::AddArrayElement(std::string_view key, const TiXmlElement& array)
{
    std::vector<PrefsValue> entries;
    for (const TiXmlElement* child = array.FirstChildElement(); child; child = child->NextSiblingElement())
        entries.push_back(ReadScalar(*child));
    if (entries.empty()) {
        m_mapArrays.erase(std::string(key));
        return false;
    }
    m_mapArrays[std::string(key)] = std::move(entries);
    return true;
}

void DXPlistPrefs::RemoveArray(std::string_view key)
{
    const auto found = m_mapArrays.find(key);
    if (found != m_mapArrays.end())
        m_mapArrays.erase(found);
}
