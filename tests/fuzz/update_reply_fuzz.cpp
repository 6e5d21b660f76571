// The update service's reply, at most as long as the download keeps of it.
#include "FuzzSupport.h"
#include "update/KXAutoUpdate.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t kReplyLimit = std::size_t{64} * 1024;
    if (size > kReplyLimit)
        return 0;
    const std::string reply(reinterpret_cast<const char*>(data), size);
    KXAutoUpdate update;
    const bool understood = update.ParseData(reply.c_str()).ok;
    // An error reply is never an offer, and an offer is never an error.
    if (update.m_bUpdateAvailable)
        halvex::fuzz::Check(understood && update.m_nError == 0, "offer reported with an error");
    if (update.m_nError != 0)
        halvex::fuzz::Check(!understood, "error number on an understood reply");
    return 0;
}
