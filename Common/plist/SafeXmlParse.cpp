#include "plist/SafeXmlParse.h"

#include <tinyxml.h>

#include <string>

#include "plist/XmlNesting.h"

namespace halvex {

namespace {

// A UTF-8 lead byte announces at most three more bytes.
constexpr std::size_t kPadding = 8;

}  // namespace

bool ParseXmlSafely(TiXmlDocument& document, std::string_view text, std::size_t maxDepth)
{
    // A zero byte ends the text for TinyXML; what follows it is not parsed.
    text = text.substr(0, text.find('\0'));
    if (!XmlNestingWithin(text, maxDepth))
        return false;
    std::string padded;
    padded.reserve(text.size() + kPadding);
    padded.append(text);
    padded.append(kPadding, '\0');
    document.Parse(padded.c_str(), nullptr, TIXML_ENCODING_UTF8);
    return !document.Error();
}

}  // namespace halvex
