#pragma once

#include <string>

class KMDevice;

namespace halvex {

// What tells one drive from another on this computer: its USB device's
// vendor, product and serial number and its file system's UUID. The label is
// kept only to show the drive to the user; anyone can set it.
struct DriveIdentity {
    std::string vendorId;   // "090C"
    std::string productId;  // "1000"
    std::string serial;
    std::string uuid;  // "1A2B-3C4D"; empty when the file system has none
    std::string label;

    // The identity of a detected drive. Control characters are left out of
    // every field: they come from the drive and end up on screens and in
    // the line-based trust list.
    static DriveIdentity Of(const KMDevice& device);

    // The same drive: vendor, product, serial and UUID all equal.
    bool SameDrive(const DriveIdentity& other) const;
    // A USB drive with something that tells it from others of its make (a
    // serial number or a file system UUID); only such a drive can be trusted.
    bool IsDistinct() const;
};

}  // namespace halvex
