#include "strings/RtfToHtml.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <vector>

#include "util/HexDigit.h"

namespace halvex {

namespace {

constexpr std::size_t kMaxDepth = 256;
constexpr std::size_t kMaxOutput = std::size_t{16} * 1024 * 1024;

// Windows-1252 in 0x80..0x9F; every other byte is Latin-1.
constexpr std::array<char16_t, 32> kCp1252High = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                                  0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

struct Style {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int halfPoints = 0;  // 0: the default size
    bool operator==(const Style&) const = default;
};

enum class Destination { Text, Skip, FieldInstruction, FieldResult };

struct Group {
    Style style;
    Destination destination = Destination::Text;
    int unicodeSkip = 1;  // \ucN: fallback characters after \uN
};

class Converter {
public:
    explicit Converter(std::string_view rtf) : m_in(rtf) { m_groups.push_back({}); }

    std::string Run()
    {
        while (m_pos < m_in.size() && m_out.size() < kMaxOutput) {
            const char c = m_in[m_pos++];
            if (c == '{') {
                if (m_groups.size() >= kMaxDepth)
                    break;  // too deep to be a licence text
                m_groups.push_back(m_groups.back());
                m_groups.back().destination =
                    Current().destination == Destination::FieldResult ? Destination::Text : Current().destination;
            } else if (c == '}') {
                CloseGroup();
            } else if (c == '\\') {
                ControlWord();
            } else if (c != '\r' && c != '\n') {
                Text(static_cast<unsigned char>(c));
            }
        }
        CloseParagraph();
        if (m_bInLink)
            m_out += "</a>";
        return m_out;
    }

private:
    Group& Current() { return m_groups.back(); }

    void CloseGroup()
    {
        if (m_groups.size() <= 1)
            return;
        const Destination closing = Current().destination;
        m_groups.pop_back();
        if (closing == Destination::FieldInstruction && Current().destination != Destination::FieldInstruction)
            TakeLink();
        if (closing == Destination::FieldResult && m_bInLink) {
            CloseRun();
            m_out += "</a>";
            m_bInLink = false;
        }
    }

    // "HYPERLINK \"address\"" of a field instruction.
    void TakeLink()
    {
        const std::size_t at = m_strInstruction.find("HYPERLINK");
        m_strLink.clear();
        if (at != std::string::npos) {
            const std::size_t open = m_strInstruction.find('"', at);
            const std::size_t close = open == std::string::npos ? open : m_strInstruction.find('"', open + 1);
            if (close != std::string::npos)
                m_strLink = m_strInstruction.substr(open + 1, close - open - 1);
        }
        m_strInstruction.clear();
    }

    void ControlWord()
    {
        if (m_pos >= m_in.size())
            return;
        const char c = m_in[m_pos];
        if (!IsLetter(c)) {
            ++m_pos;
            ControlSymbol(c);
            return;
        }
        std::string word;
        while (m_pos < m_in.size() && IsLetter(m_in[m_pos]) && word.size() < 32)
            word += m_in[m_pos++];
        bool hasNumber = false;
        bool negative = false;
        long number = 0;
        if (m_pos < m_in.size() && m_in[m_pos] == '-') {
            negative = true;
            ++m_pos;
        }
        int digits = 0;
        while (m_pos < m_in.size() && m_in[m_pos] >= '0' && m_in[m_pos] <= '9') {
            if (digits++ < 9)
                number = number * 10 + (m_in[m_pos] - '0');
            hasNumber = true;
            ++m_pos;
        }
        if (negative)
            number = -number;
        if (m_pos < m_in.size() && m_in[m_pos] == ' ')
            ++m_pos;  // the delimiter belongs to the word
        Word(word, hasNumber, number);
    }

    static bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

    void ControlSymbol(char c)
    {
        switch (c) {
        case '\\':
        case '{':
        case '}': Text(static_cast<unsigned char>(c)); break;
        case '~': Unicode(0x00A0); break;
        case '_': Unicode(0x2011); break;
        case '*': Current().destination = Destination::Skip; break;
        case '\'':
            if (m_pos + 2 <= m_in.size()) {
                const int high = HexDigit(m_in[m_pos]);
                const int low = HexDigit(m_in[m_pos + 1]);
                m_pos += 2;
                if (high >= 0 && low >= 0)
                    Byte(static_cast<unsigned char>(high * 16 + low));
            }
            break;
        default: break;  // \- optional hyphen and the rest: nothing to show
        }
    }

    void Word(const std::string& word, bool hasNumber, long number)
    {
        Style& style = Current().style;
        const bool on = !hasNumber || number != 0;
        if (word == "par" || word == "sect") {
            CloseParagraph();
        } else if (word == "line") {
            Markup("<br/>");
        } else if (word == "tab") {
            Unicode(' ');
            Unicode(' ');
            Unicode(' ');
            Unicode(' ');
        } else if (word == "b") {
            style.bold = on;
        } else if (word == "i") {
            style.italic = on;
        } else if (word == "ul") {
            style.underline = on;
        } else if (word == "ulnone") {
            style.underline = false;
        } else if (word == "fs") {
            style.halfPoints = hasNumber && number > 0 && number < 400 ? static_cast<int>(number) : 0;
        } else if (word == "plain") {
            style = Style{};
        } else if (word == "uc") {
            Current().unicodeSkip = hasNumber && number >= 0 && number < 16 ? static_cast<int>(number) : 1;
        } else if (word == "u" && hasNumber) {
            Unicode(static_cast<char32_t>(number < 0 ? number + 65536 : number));
            SkipFallback();
        } else if (word == "emdash") {
            Unicode(0x2014);
        } else if (word == "endash") {
            Unicode(0x2013);
        } else if (word == "bullet") {
            Unicode(0x2022);
        } else if (word == "lquote") {
            Unicode(0x2018);
        } else if (word == "rquote") {
            Unicode(0x2019);
        } else if (word == "ldblquote") {
            Unicode(0x201C);
        } else if (word == "rdblquote") {
            Unicode(0x201D);
        } else if (word == "fldinst") {
            Current().destination = Destination::FieldInstruction;
            m_strInstruction.clear();
        } else if (word == "fldrslt") {
            Current().destination = Destination::FieldResult;
            if (!m_strLink.empty() && !m_bInLink) {
                CloseRun();
                // A link that starts a paragraph opens it first, so the tags nest.
                if (!m_bInParagraph) {
                    m_out += "<p>";
                    m_bInParagraph = true;
                }
                m_out += "<a href=\"" + Escape(m_strLink) + "\">";
                m_bInLink = true;
                m_strLink.clear();
            }
        } else if (word == "fonttbl" || word == "colortbl" || word == "stylesheet" || word == "info" ||
                   word == "pict" || word == "header" || word == "footer" || word == "object" || word == "listtable" ||
                   word == "listoverridetable" || word == "generator") {
            Current().destination = Destination::Skip;
        }
    }

    // The characters standing in for a \uN for readers without Unicode.
    void SkipFallback()
    {
        for (int n = Current().unicodeSkip; n > 0 && m_pos < m_in.size(); --n) {
            const char c = m_in[m_pos];
            if (c == '{' || c == '}')
                break;
            if (c == '\\') {
                if (m_pos + 1 < m_in.size() && m_in[m_pos + 1] == '\'')
                    m_pos += std::min<std::size_t>(4, m_in.size() - m_pos);
                else
                    break;
            } else {
                ++m_pos;
            }
        }
    }

    void Byte(unsigned char byte)
    {
        if (byte >= 0x80 && byte <= 0x9F)
            Unicode(kCp1252High[byte - 0x80]);
        else
            Unicode(byte);
    }

    // A plain character of the source: the document's text is 8-bit.
    void Text(unsigned char c) { Byte(c); }

    void Unicode(char32_t code)
    {
        const Destination destination = Current().destination;
        if (destination == Destination::Skip)
            return;
        std::string utf8;
        if (code < 0x20 && code != '\t')
            return;
        if (code >= 0xD800 && code <= 0xDFFF)
            code = 0xFFFD;  // halves of a pair are not joined: rare in licences
        if (code < 0x80) {
            utf8 += static_cast<char>(code);
        } else if (code < 0x800) {
            utf8 += static_cast<char>(0xC0 | (code >> 6));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            utf8 += static_cast<char>(0xE0 | (code >> 12));
            utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        }
        if (destination == Destination::FieldInstruction) {
            if (m_strInstruction.size() < 4096)
                m_strInstruction += utf8;
            return;
        }
        OpenRun();
        m_out += Escape(utf8);
    }

    void Markup(const char* html)
    {
        if (Current().destination == Destination::Skip || Current().destination == Destination::FieldInstruction)
            return;
        OpenRun();
        m_out += html;
    }

    static std::string Escape(const std::string& text)
    {
        std::string out;
        for (char c : text) {
            switch (c) {
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '&': out += "&amp;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
            }
        }
        return out;
    }

    void OpenRun()
    {
        if (!m_bInParagraph) {
            m_out += "<p>";
            m_bInParagraph = true;
        }
        const Style& style = Current().style;
        if (m_bInRun && style == m_runStyle)
            return;
        CloseRun();
        std::string css;
        if (style.bold)
            css += "font-weight:bold;";
        if (style.italic)
            css += "font-style:italic;";
        if (style.underline)
            css += "text-decoration:underline;";
        if (style.halfPoints > 0)
            css += "font-size:" + std::to_string(style.halfPoints / 2) + (style.halfPoints % 2 ? ".5pt;" : "pt;");
        m_out += css.empty() ? "<span>" : "<span style=\"" + css + "\">";
        m_runStyle = style;
        m_bInRun = true;
    }

    void CloseRun()
    {
        if (m_bInRun)
            m_out += "</span>";
        m_bInRun = false;
    }

    void CloseParagraph()
    {
        if (Current().destination == Destination::Skip || Current().destination == Destination::FieldInstruction)
            return;
        CloseRun();
        if (m_bInLink) {
            m_out += "</a>";
            m_bInLink = false;
        }
        m_out += m_bInParagraph ? "</p>\n" : "<p>&nbsp;</p>\n";
        m_bInParagraph = false;
    }

    std::string_view m_in;
    std::size_t m_pos = 0;
    std::vector<Group> m_groups;
    std::string m_out;
    Style m_runStyle;
    bool m_bInRun = false;
    bool m_bInParagraph = false;
    bool m_bInLink = false;
    std::string m_strInstruction;
    std::string m_strLink;
};

}  // namespace

std::string RtfToHtml(std::string_view rtf)
{
    return Converter(rtf).Run();
}

std::string RtfFileToHtml(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return {};
    std::string data(kMaxRtfFileSize, '\0');
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    data.resize(static_cast<std::size_t>(in.gcount()));
    return RtfToHtml(data);
}

}  // namespace halvex
