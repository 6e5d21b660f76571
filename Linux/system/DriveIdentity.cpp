#include "system/DriveIdentity.h"

#include <algorithm>

#include "system/KMDevice.h"

namespace halvex {

namespace {

std::string Printable(std::string text)
{
    std::erase_if(text, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
    return text;
}

}  // namespace

DriveIdentity DriveIdentity::Of(const KMDevice& device)
{
    return DriveIdentity{Printable(device.vendorID()), Printable(device.productID()), Printable(device.serial()),
                         Printable(device.fileSystemUuid()), Printable(device.volumeName())};
}

bool DriveIdentity::SameDrive(const DriveIdentity& other) const
{
    return vendorId == other.vendorId && productId == other.productId && serial == other.serial && uuid == other.uuid;
}

bool DriveIdentity::IsDistinct() const
{
    return !vendorId.empty() && (!serial.empty() || !uuid.empty());
}

}  // namespace halvex
