// The property-list reader on any bytes: preference files, profiles, the
// sync index and the theme all go through it. A document it accepts must
// write out to one that reads back to the same text, or a later save would
// change what the user stored.
#include "FuzzSupport.h"
#include "plist/DXPlistPrefs.h"
#include "strings/KXTheme.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using halvex::fuzz::Check;
    DXPlistPrefs prefs;
    if (!prefs.LoadText(halvex::fuzz::AsText(data, size)))
        return 0;

    for (const auto& [key, value] : prefs.Values()) {
        std::string text;
        long number = 0;
        double real = 0;
        bool flag = false;
        prefs.GetValue(key, text, "");
        prefs.GetValue(key, number, 0L);
        prefs.GetValue(key, real, 0.0);
        prefs.GetValue(key, flag, false);
        Check(text.size() <= DXPlistPrefs::kMaxTextBytes, "text value longer than the limit");
        (void)KXTheme::ParseColour(text);
        for (std::size_t i = 0; i < 4; ++i)
            prefs.GetArrayValue(key, i, text, "");
    }

    const std::string written = prefs.ToText();
    DXPlistPrefs again;
    if (!again.LoadText(written)) {
        std::fprintf(stderr, "written:\n%s\n", written.c_str());
        halvex::fuzz::Fail("written document does not read back");
    }
    Check(again.Values().size() == prefs.Values().size(), "values lost in a round trip");
    if (const std::string rewritten = again.ToText(); rewritten != written) {
        std::fprintf(stderr, "written:\n%s\nread back and written:\n%s\n", written.c_str(), rewritten.c_str());
        halvex::fuzz::Fail("round trip changes the document");
    }
    return 0;
}
