#include "plist/XmlNesting.h"

namespace halvex {

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWith(std::string_view text, std::size_t at, std::string_view prefix, bool ignoreCase = false)
{
    if (text.size() - at < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char c = text[at + i];
        if ((ignoreCase ? Lower(c) : c) != prefix[i])
            return false;
    }
    return true;
}

// TinyXML takes any byte of 127 and above as a letter.
bool IsNameStart(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 127 || (Lower(c) >= 'a' && Lower(c) <= 'z') || c == '_';
}

class Scanner {
public:
    explicit Scanner(std::string_view text) : m_text(text) {}

    bool Within(std::size_t maxDepth)
    {
        std::size_t depth = 0;
        while (m_at < m_text.size()) {
            m_at = m_text.find('<', m_at);
            if (m_at == std::string_view::npos)
                break;
            if (StartsWith(m_text, m_at, "<!--")) {
                SkipPast(m_at + 4, "-->");
            } else if (StartsWith(m_text, m_at, "<![CDATA[")) {
                SkipPast(m_at + 9, "]]>");
            } else if (StartsWith(m_text, m_at, "<?xml", true)) {
                SkipDeclaration();
            } else if (StartsWith(m_text, m_at, "</")) {
                if (depth > 0)
                    --depth;
                SkipPast(m_at + 2, ">");
            } else if (m_at + 1 < m_text.size() && IsNameStart(m_text[m_at + 1])) {
                if (!SkipStartTag() && ++depth > maxDepth)
                    return false;
            } else {
                // "<!DOCTYPE ...>", "<?pi ...>" and stray text end at the first '>'.
                SkipPast(m_at + 1, ">");
            }
        }
        return true;
    }

private:
    void SkipPast(std::size_t from, std::string_view end)
    {
        const std::size_t found = m_text.find(end, from);
        m_at = found == std::string_view::npos ? m_text.size() : found + end.size();
    }

    void SkipQuoted() { SkipPast(m_at + 1, m_text.substr(m_at, 1)); }

    // A quote in a start tag that TinyXML accepts can only open an attribute
    // value, which ends at the same quote. True for an empty element "<a/>".
    bool SkipStartTag()
    {
        ++m_at;
        while (m_at < m_text.size()) {
            const char c = m_text[m_at];
            if (c == '"' || c == '\'') {
                SkipQuoted();
            } else if (c == '>') {
                const bool empty = m_text[m_at - 1] == '/';
                ++m_at;
                return empty;
            } else {
                ++m_at;
            }
        }
        return false;
    }

    // TinyXML reads the values of "version", "encoding" and "standalone" as
    // attributes (quoted text may hold '>') and skips any other word.
    void SkipDeclaration()
    {
        m_at += 5;
        while (m_at < m_text.size()) {
            if (m_text[m_at] == '>') {
                ++m_at;
                return;
            }
            while (m_at < m_text.size() && IsSpace(m_text[m_at]))
                ++m_at;
            if (StartsWith(m_text, m_at, "version", true) || StartsWith(m_text, m_at, "encoding", true) ||
                StartsWith(m_text, m_at, "standalone", true)) {
                SkipDeclarationAttribute();
            } else {
                while (m_at < m_text.size() && m_text[m_at] != '>' && !IsSpace(m_text[m_at]))
                    ++m_at;
            }
        }
    }

    void SkipDeclarationAttribute()
    {
        while (m_at < m_text.size() && m_text[m_at] != '=' && m_text[m_at] != '>' && m_text[m_at] != '"' &&
               m_text[m_at] != '\'')
            ++m_at;
        if (m_at < m_text.size() && m_text[m_at] == '=')
            ++m_at;
        while (m_at < m_text.size() && IsSpace(m_text[m_at]))
            ++m_at;
        if (m_at >= m_text.size())
            return;
        if (m_text[m_at] == '"' || m_text[m_at] == '\'') {
            SkipQuoted();
            return;
        }
        while (m_at < m_text.size() && !IsSpace(m_text[m_at]) && m_text[m_at] != '/' && m_text[m_at] != '>')
            ++m_at;
    }

    std::string_view m_text;
    std::size_t m_at = 0;
};

}  // namespace

bool XmlNestingWithin(std::string_view xml, std::size_t maxDepth)
{
    return Scanner(xml).Within(maxDepth);
}

}  // namespace halvex
