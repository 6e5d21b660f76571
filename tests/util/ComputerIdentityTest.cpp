#include "util/ComputerIdentity.h"

#include <regex>

#include "TestFolder.h"

namespace fs = std::filesystem;
using halvex::ComputerIdentityFrom;
using halvex::IdentitySources;

namespace {

constexpr const char* kRouteHeader =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

}  // namespace

// A made-up machine: a route table, a sys/class/net tree and a machine id.
class ComputerIdentityTest : public TestFolder {
protected:
    IdentitySources Sources() const { return IdentitySources{Root() / "route", Root() / "net", Root() / "machine-id"}; }
    void Interface(const std::string& name, const std::string& address, bool device = true,
                   const std::string& flags = "0x1003")
    {
        WriteFile(Root() / "net" / name / "address", address + "\n");
        WriteFile(Root() / "net" / name / "flags", flags + "\n");
        if (device)
            fs::create_directories(Root() / "net" / name / "device");
    }
    void Routes(const std::string& rows) { WriteFile(Root() / "route", kRouteHeader + rows); }
};

TEST_F(ComputerIdentityTest, DefaultRouteInterfaceWithTheLowestMetric)
{
    Interface("eth0", "aa:bb:cc:dd:ee:01");
    Interface("wlan0", "aa:bb:cc:dd:ee:02");
    Routes(
        "wlan0\t0002A8C0\t00000000\t0001\t0\t0\t600\t00FFFFFF\t0\t0\t0\n"
        "wlan0\t00000000\t0102A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
        "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n");
    EXPECT_EQ(ComputerIdentityFrom(Sources()), "AA:BB:CC:DD:EE:01");
}

TEST_F(ComputerIdentityTest, RoutesThatAreNotDefaultOrNotUpAreIgnored)
{
    Interface("eth0", "aa:bb:cc:dd:ee:01");
    Interface("wlan0", "aa:bb:cc:dd:ee:02");
    Routes(
        "eth0\t0002A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"  // a subnet
        "eth0\t00000000\t0101A8C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n"  // down
        "wlan0\t00000000\t0102A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n");
    EXPECT_EQ(ComputerIdentityFrom(Sources()), "AA:BB:CC:DD:EE:02");
}

TEST_F(ComputerIdentityTest, DefaultRouteWithoutAHardwareAddressFallsBackToTheInterfaces)
{
    // A VPN tunnel carries the default route and has no Ethernet address.
    WriteFile(Root() / "net" / "tun0" / "address", "\n");
    Interface("wlp2s0", "00:11:22:33:44:55");
    Interface("enp3s0", "00:11:22:33:44:66");
    Routes("tun0\t00000000\t00000000\t0001\t0\t0\t50\t00000000\t0\t0\t0\n");
    EXPECT_EQ(ComputerIdentityFrom(Sources()), "00:11:22:33:44:66");
}

TEST_F(ComputerIdentityTest, FirstByNameSkippingLoopbackAndUnusableAddresses)
{
    Interface("a0", "00:00:00:00:00:00");               // zero
    Interface("a1", "00:00:00:00");                     // a tunnel's four bytes
    Interface("a2", "zz:11:22:33:44:55");               // damaged
    Interface("a3", "01:02:03:04:05:06:07:08");         // too long
    Interface("a4", "01:02:03:04:05:06", true, "0x9");  // loopback by its flags
    Interface("lo", "01:02:03:04:05:07");
    Interface("eth1", "02:00:00:00:00:02");
    Interface("eth0", "02:00:00:00:00:01");
    EXPECT_EQ(ComputerIdentityFrom(Sources()), "02:00:00:00:00:01");
}

TEST_F(ComputerIdentityTest, InterfacesWithADeviceComeBeforeVirtualOnes)
{
    // A bridge's address may change per boot; the network card's stays.
    Interface("br-1234", "02:42:00:00:00:01", false);
    Interface("docker0", "02:42:00:00:00:02", false);
    Interface("enp3s0", "00:11:22:33:44:66");
    EXPECT_EQ(ComputerIdentityFrom(Sources()), "00:11:22:33:44:66");

    fs::remove_all(Root() / "net" / "enp3s0");
    EXPECT_EQ(ComputerIdentityFrom(Sources()), "02:42:00:00:00:01");
}

TEST_F(ComputerIdentityTest, DamagedRouteTableIsHarmless)
{
    Interface("eth0", "00:11:22:33:44:55");
    WriteFile(Root() / "net" / "secret", "");
    Routes(
        "garbage\n"
        "../secret\t00000000\t0\t0003\t0\t0\t0\t00000000\n"
        "averyveryverylonginterfacename\t00000000\t0\t0003\t0\t0\t0\t00000000\n"
        "eth9\t00000000\n"
        "eth9\tXYZ\t0\t0003\t0\t0\t0\t00000000\n"
        "\n\t\t\n");
    EXPECT_EQ(ComputerIdentityFrom(Sources()), "00:11:22:33:44:55");
}

TEST_F(ComputerIdentityTest, MachineIdStandsInWithoutAnyInterface)
{
    WriteFile(Root() / "machine-id", "0123456789abcdef0123456789abcdef\n");
    // Locally administered, unicast: 0x01 becomes 0x02.
    EXPECT_EQ(ComputerIdentityFrom(Sources()), "02:23:45:67:89:AB");
    WriteFile(Root() / "machine-id", "short\n");
    EXPECT_EQ(ComputerIdentityFrom(Sources()), "00:00:00:00:00:00");
}

TEST(ComputerIdentity, SameTextOnEveryCallAndInTheSharedForm)
{
    // A copy, so a later call that changed the text in place would show.
    const std::string first = halvex::ComputerIdentity();  // NOLINT(performance-unnecessary-copy-initialization)
    EXPECT_EQ(halvex::ComputerIdentity(), first);
    EXPECT_TRUE(std::regex_match(first, std::regex("([0-9A-F]{2}:){5}[0-9A-F]{2}"))) << first;
}
