#include "backup/PlistKeyEditor.h"

#include <optional>

#include "plist/BinaryPlist.h"

#include <tinyxml.h>

#include "plist/AtomicFileWrite.h"
#include "plist/DXPlistPrefs.h"
#include "plist/SafeXmlParse.h"
#include "util/BoundedRead.h"

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

Status PlistKeyEditor::Load(const std::filesystem::path& file)
{
    const Result<std::string> text = ReadBoundedFile(file, DXPlistPrefs::kMaxFileBytes);
    if (!text)
        return text.status();
    m_document = std::make_unique<TiXmlDocument>();
    // A binary file is edited as its XML form and written back as XML.
    const std::optional<std::string> converted =
        IsBinaryPlist(text.value()) ? BinaryPlistToXml(text.value()) : std::optional<std::string>(text.value());
    if (!converted || !halvex::ParseXmlSafely(*m_document, *converted) || !Dictionary(*m_document))
        return Status::Fail("file_read_err", file.string() + ": not a property list");
    return Status::Ok();
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

Status PlistKeyEditor::Save(const std::filesystem::path& file) const
{
    TiXmlPrinter printer;
    printer.SetIndent("\t");
    m_document->Accept(&printer);
    // Profile files are on the drive: a link there is replaced, not followed.
    if (Status removed = RemoveLinkInPlace(file); !removed)
        return removed;
    return WriteFileAtomic(file, printer.Str());
}

}  // namespace halvex
