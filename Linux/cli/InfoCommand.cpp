// dravane info: the run path's drive, and why it is or is not accepted.

#include <ostream>

#include "Command.h"
#include "CommandOptions.h"
#include "Context.h"
#include "system/KMDevice.h"
#include "Text.h"
#include "strings/FormatText.h"

namespace halvex::cli {

namespace {

std::string WithName(const std::string& id, const std::string& name)
{
    if (name.empty())
        return id;
    return id.empty() ? name : id + " (" + name + ")";
}

std::string SizeLine(std::uint64_t bytes)
{
    return std::to_string(bytes) + " (" + KMDevice::stringFromFileSize(bytes) + ")";
}

// Which accepted vendor list decided "suite drive", and its entries.
std::string VendorListLine(const KMDevice& drive)
{
    std::string line =
        drive.vendorListSource() == KMDevice::VendorListSource::DriveConfiguration ? "drive configuration" : "built-in";
    const char* separator = " (";
    for (const std::string& id : drive.acceptedVendors()) {
        line += separator + id;
        separator = " ";
    }
    return line + ")";
}

int Run(Context& context, const std::vector<std::string>& options)
{
    const CommandOptions given = CommandOptions::Parse(options, {});
    if (const std::string problem = given.ErrorIfAnyWord(); !problem.empty()) {
        context.console().error(problem);
        return kExitSetup;
    }
    const KMDevice& drive = context.drive();
    // An unreadable size prints as zeros before the error.
    const halvex::Result<KMDevice::Space> sized = drive.getSizeForTotal();
    const KMDevice::Space space = sized.ValueOr({});

    std::ostream& out = context.console().out();
    out << "run path: " << drive.runPath().string() << '\n'
        << "mount path: " << drive.mountPath().string() << '\n'
        << "device: " << WithName(drive.deviceName(), drive.bsdName()) << '\n'
        << "label: " << drive.volumeName() << '\n'
        << "usb: " << (drive.runFromDevice() ? "yes" : "no") << '\n'
        << "vendor: " << WithName(drive.vendorID(), drive.manufacturer()) << '\n'
        << "product: " << WithName(drive.productID(), drive.product()) << '\n'
        << "suite drive: " << (drive.isHalvexDrive() ? "yes" : "no") << '\n'
        << "total: " << SizeLine(space.total) << '\n'
        << "used: " << SizeLine(space.used) << '\n'
        << "free: " << SizeLine(space.free) << '\n'
        << "vendor list: " << VendorListLine(drive) << '\n';
    out.flush();
    if (!sized) {
        context.console().error(Text(KMDevice::kSizeErrorKey, "The drive's size could not be read."));
        return kExitFailures;
    }
    return kExitDone;
}

}  // namespace

const Command& InfoCommand()
{
    static const Command command{
        "info", "the run path's drive: label, USB identity, suite drive or not, space",
        "info\n"
        "\n"
        "Prints the drive the run path lies on, one 'key: value' line each: run path,\n"
        "mount path, device, label, usb (yes/no), vendor, product, suite drive (yes/no),\n"
        "total, used, free (bytes and the size text), and vendor list: whether the\n"
        "accepted vendors came from the drive's Configuration.plist (\"drive\n"
        "configuration\") or are the built-in ones, with the list. Unlike the other commands it runs\n"
        "from any folder: it is the diagnostic that says why a drive is or is not\n"
        "accepted.\n",
        Needs::Setup, &Run};
    return command;
}

}  // namespace halvex::cli
