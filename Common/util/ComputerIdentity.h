#pragma once

#include <filesystem>
#include <string>

namespace halvex {

// Where the hardware addresses are read from; the roots are parameters so
// tests can offer a made-up machine.
struct IdentitySources {
    std::filesystem::path procNetRoute = "/proc/net/route";
    std::filesystem::path sysClassNet = "/sys/class/net";
    std::filesystem::path machineId = "/etc/machine-id";
};

// This computer's identity: the hardware address of its primary network
// interface as "%02X:%02X:%02X:%02X:%02X:%02X". The interface of the default
// route when it has a hardware address, else the first by name that is not
// loopback and has a non-zero six-byte address (interfaces backed by a
// device before virtual ones, whose addresses may change per boot). Without
// any, an address made from the machine id (locally administered) so the
// identity still stays the same from run to run. Computed once per run.
const std::string& ComputerIdentity();

// The same, uncached, from the given sources.
std::string ComputerIdentityFrom(const IdentitySources& sources);

}  // namespace halvex
