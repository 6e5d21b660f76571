#include "backup/PlistKeyEditor.h"

#include <cstdio>
#include <fstream>
#include <unistd.h>

#include <tinyxml.h>

#include "plist/DXPlistPrefs.h"
#include "plist/SafeXmlParse.h"

namespace halvex {

namespace {

TiXmlElement* Dictionary(TiXmlDocument& document)
{
    TiXmlElement* plist = document.FirstChildElement("plist");
    return plist ? plist->FirstChildElement("dict") : nullptr;
}

}  // namespace

PlistKeyEditor::PlistKeyEditor() : m_document(std::make_unique<TiXmlDocument>()) {}
PlistKeyEditor::~PlistKeyEditor() = default;

void PlistKeyEditor::StartEmpty()
{
    m_document = std::make_unique<TiXmlDocument>();
    m_document->Parse(DXPlistPrefs::kEmptyPlist, nullptr, TIXML_ENCODING_UTF8);
}

bool PlistKeyEditor::Load(const std::filesystem::path& file)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (error || size > DXPlistPrefs::kMaxFileBytes)
        return false;
    std::ifstream in(file, std::ios::binary);
    std::string text(static_cast<std::size_t>(size), '\0');
    if (!in.read(text.data(), static_cast<std::streamsize>(text.size())))
        return false;
    m_document = std::make_unique<TiXmlDocument>();
    return halvex::ParseXmlSafely(*m_document, text) && Dictionary(*m_document);
}

void PlistKeyEditor::SetString(const std::string& key, const std::string& value)
{
    Set(key, "string", value);
}

void PlistKeyEditor::SetInteger(const std::string& key, long long value)
{
    Set(key, "integer", std::to_string(value));
}

void PlistKeyEditor::Set(const std::string& key, const char* type, const std::string& text)
{
    TiXmlElement* dict = Dictionary(*m_document);
    if (!dict)
        return;
    TiXmlElement value(type);
    if (!text.empty())
        value.InsertEndChild(TiXmlText(text.c_str()));
    for (TiXmlElement* element = dict->FirstChildElement(); element; element = element->NextSiblingElement()) {
        if (element->ValueStr() != "key" || !element->GetText() || key != element->GetText())
            continue;
        if (TiXmlElement* old = element->NextSiblingElement(); old && old->ValueStr() != "key")
            dict->ReplaceChild(old, value);
        else
            dict->InsertAfterChild(element, value);
        return;
    }
    TiXmlElement keyElement("key");
    keyElement.InsertEndChild(TiXmlText(key.c_str()));
    dict->InsertEndChild(keyElement);
    dict->InsertEndChild(value);
}

bool PlistKeyEditor::Save(const std::filesystem::path& file) const
{
    TiXmlPrinter printer;
    printer.SetIndent("\t");
    m_document->Accept(&printer);
    const std::string temporary =
        (file.parent_path() / ("." + file.filename().string() + ".tmp-" + std::to_string(::getpid()))).string();
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << printer.Str();
        out.flush();
        if (!out) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), file.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace halvex
