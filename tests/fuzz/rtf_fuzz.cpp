// The licence reader: a drive's License.rtf turned into the HTML the wizard
// shows. Whatever the file holds, the output stays bounded and its markup
// cannot be opened by the text.
#include "FuzzSupport.h"
#include "strings/RtfToHtml.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string html = halvex::RtfToHtml(halvex::fuzz::AsText(data, size));
    halvex::fuzz::Check(html.find("<script") == std::string::npos, "text became markup");
    return 0;
}
