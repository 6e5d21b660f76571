#include "plist/BinaryPlist.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace halvex {

namespace {

constexpr std::string_view kMagic = "bplist00";
constexpr std::size_t kTrailerBytes = 32;
// Nesting below the XML reader's own limit, with room for plist and dict.
constexpr int kMaxDepth = 100;
// Objects may be shared: a small file could name one large array many
// times over. The output and the work are bounded, not the file alone.
constexpr std::size_t kMaxOutputBytes = std::size_t{16} * 1024 * 1024;
constexpr std::size_t kMaxVisits = 1'000'000;

class Reader {
public:
    explicit Reader(std::string_view data) : m_data(data) {}

    bool Open()
    {
        if (m_data.size() < kMagic.size() + kTrailerBytes || !IsBinaryPlist(m_data))
            return false;
        const std::size_t trailer = m_data.size() - kTrailerBytes;
        m_offsetSize = Byte(trailer + 6);
        m_refSize = Byte(trailer + 7);
        const std::uint64_t objects = Number(trailer + 8, 8);
        const std::uint64_t top = Number(trailer + 16, 8);
        const std::uint64_t table = Number(trailer + 24, 8);
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8)
            return false;
        if (table < kMagic.size() || table > trailer || objects == 0 || top >= objects ||
            objects > (trailer - table) / m_offsetSize)
            return false;
        m_offsets.reserve(static_cast<std::size_t>(objects));
        for (std::uint64_t i = 0; i < objects; ++i) {
            const std::uint64_t offset = Number(static_cast<std::size_t>(table + i * m_offsetSize), m_offsetSize);
            if (offset < kMagic.size() || offset >= table)
                return false;
            m_offsets.push_back(static_cast<std::size_t>(offset));
        }
        m_end = static_cast<std::size_t>(table);
        m_top = static_cast<std::size_t>(top);
        return true;
    }

    bool Write(std::string& out) { return Object(m_top, 0, out); }

private:
    unsigned Byte(std::size_t at) const { return static_cast<unsigned char>(m_data[at]); }
    std::uint64_t Number(std::size_t at, std::size_t bytes) const
    {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < bytes; ++i)
            value = (value << 8) | Byte(at + i);
        return value;
    }
    bool Fits(std::size_t at, std::uint64_t bytes) const { return at <= m_end && bytes <= m_end - at; }

    // The length in a marker's low nibble, or in the integer after it.
    bool Length(std::size_t& at, unsigned info, std::uint64_t& length) const
    {
        if (info != 0x0F) {
            length = info;
            return true;
        }
        if (!Fits(at, 1))
            return false;
        const unsigned marker = Byte(at);
        const std::size_t bytes = std::size_t{1} << (marker & 0x0F);
        if ((marker & 0xF0) != 0x10 || bytes > 8 || !Fits(at + 1, bytes))
            return false;
        length = Number(at + 1, bytes);
        at += 1 + bytes;
        return true;
    }

    static void Escape(std::string& out, std::string_view text)
    {
        for (const char c : text) {
            switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            default:
                // Control characters have no place in XML 1.0 text.
                if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n')
                    out += c;
            }
        }
    }

    static void AppendUtf8(std::string& out, std::uint32_t code)
    {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    // UTF-16 big-endian text as UTF-8; a lone surrogate becomes U+FFFD.
    std::string Utf16(std::size_t at, std::uint64_t units) const
    {
        std::string text;
        for (std::uint64_t i = 0; i < units; ++i) {
            std::uint32_t code = static_cast<std::uint32_t>(Number(at + 2 * i, 2));
            if (code >= 0xD800 && code <= 0xDBFF && i + 1 < units) {
                const auto low = static_cast<std::uint32_t>(Number(at + 2 * (i + 1), 2));
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    ++i;
                }
            }
            if (code >= 0xD800 && code <= 0xDFFF)
                code = 0xFFFD;
            AppendUtf8(text, code);
        }
        return text;
    }

    bool Reference(std::size_t at, std::uint64_t index, std::size_t& object) const
    {
        const std::uint64_t ref = Number(at + static_cast<std::size_t>(index) * m_refSize, m_refSize);
        if (ref >= m_offsets.size())
            return false;
        object = static_cast<std::size_t>(ref);
        return true;
    }

    bool Object(std::size_t index, int depth, std::string& out)
    {
        if (depth > kMaxDepth || ++m_visits > kMaxVisits || out.size() > kMaxOutputBytes)
            return false;
        std::size_t at = m_offsets[index];
        const unsigned marker = Byte(at++);
        const unsigned info = marker & 0x0F;
        switch (marker >> 4) {
        case 0x0:
            if (marker == 0x08 || marker == 0x09) {
                out += marker == 0x09 ? "<true/>" : "<false/>";
                return true;
            }
            return false;
        case 0x1: {
            if (info > 4)
                return false;
            const std::size_t bytes = std::size_t{1} << info;
            if (!Fits(at, bytes))
                return false;
            // 16-byte integers carry the value in their low half.
            const std::uint64_t raw = Number(at + (bytes > 8 ? 8 : 0), bytes > 8 ? 8 : bytes);
            const bool isSigned = bytes >= 8;
            out += "<integer>";
            out += isSigned ? std::to_string(static_cast<std::int64_t>(raw)) : std::to_string(raw);
            out += "</integer>";
            return true;
        }
        case 0x2: {
            if (info != 2 && info != 3)
                return false;
            const std::size_t bytes = std::size_t{1} << info;
            if (!Fits(at, bytes))
                return false;
            double value = 0;
            if (bytes == 4) {
                const auto bits = static_cast<std::uint32_t>(Number(at, 4));
                float single = 0;
                std::memcpy(&single, &bits, sizeof single);
                value = single;
            } else {
                const std::uint64_t bits = Number(at, 8);
                std::memcpy(&value, &bits, sizeof value);
            }
            if (!std::isfinite(value))
                return false;
            char text[64];
            std::snprintf(text, sizeof text, "%.17g", value);
            out += "<real>";
            out += text;
            out += "</real>";
            return true;
        }
        case 0x3: {
            if (marker != 0x33 || !Fits(at, 8))
                return false;
            const std::uint64_t bits = Number(at, 8);
            double seconds = 0;
            std::memcpy(&seconds, &bits, sizeof seconds);
            // Seconds since 2001-01-01, kept as the XML form's text.
            constexpr double kFrom1970 = 978'307'200;
            if (!std::isfinite(seconds) || std::fabs(seconds) > 1e11)
                return false;
            const auto when = static_cast<std::time_t>(std::floor(seconds + kFrom1970));
            std::tm utc{};
            char text[32] = {};
            if (!::gmtime_r(&when, &utc) || std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc) == 0)
                return false;
            out += "<date>";
            out += text;
            out += "</date>";
            return true;
        }
        case 0x4:
        case 0x8: {
            std::uint64_t length = 0;
            if (marker >> 4 == 0x4 && (!Length(at, info, length) || !Fits(at, length)))
                return false;
            out += marker >> 4 == 0x4 ? "<data/>" : "<uid/>";
            return true;
        }
        case 0x5:
        case 0x6: {
            std::uint64_t length = 0;
            if (!Length(at, info, length))
                return false;
            const bool wide = marker >> 4 == 0x6;
            if (length > m_end || !Fits(at, wide ? length * 2 : length))
                return false;
            out += "<string>";
            if (wide)
                Escape(out, Utf16(at, length));
            else
                Escape(out, m_data.substr(at, static_cast<std::size_t>(length)));
            out += "</string>";
            return true;
        }
        case 0xA:
        case 0xD: {
            std::uint64_t count = 0;
            if (!Length(at, info, count))
                return false;
            const bool dict = marker >> 4 == 0xD;
            const std::uint64_t refs = dict ? count * 2 : count;
            if (count > m_end || !Fits(at, refs * m_refSize))
                return false;
            out += dict ? "<dict>" : "<array>";
            for (std::uint64_t i = 0; i < count; ++i) {
                std::size_t child = 0;
                if (dict) {
                    std::size_t key = 0;
                    if (!Reference(at, i, key) || !Key(key, out))
                        return false;
                    if (!Reference(at, count + i, child))
                        return false;
                } else if (!Reference(at, i, child)) {
                    return false;
                }
                if (!Object(child, depth + 1, out))
                    return false;
            }
            out += dict ? "</dict>" : "</array>";
            return true;
        }
        default: return false;
        }
    }

    // A dictionary's key: a string object, written as a "key" element.
    bool Key(std::size_t index, std::string& out)
    {
        const unsigned marker = Byte(m_offsets[index]);
        if (marker >> 4 != 0x5 && marker >> 4 != 0x6)
            return false;
        std::string value;
        if (!Object(index, 0, value))
            return false;
        // "<string>" ... "</string>" becomes "<key>" ... "</key>".
        out += "<key>";
        out.append(value, 8, value.size() - 8 - 9);
        out += "</key>";
        return true;
    }

    std::string_view m_data;
    std::size_t m_offsetSize = 0;
    std::size_t m_refSize = 0;
    std::vector<std::size_t> m_offsets;
    std::size_t m_end = 0;
    std::size_t m_top = 0;
    std::size_t m_visits = 0;
};

}  // namespace

bool IsBinaryPlist(std::string_view data)
{
    return data.substr(0, kMagic.size()) == kMagic;
}

std::optional<std::string> BinaryPlistToXml(std::string_view data)
{
    Reader reader(data);
    if (!reader.Open())
        return std::nullopt;
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
    if (!reader.Write(out) || out.size() > kMaxOutputBytes)
        return std::nullopt;
    out += "</plist>\n";
    return out;
}

}  // namespace halvex
