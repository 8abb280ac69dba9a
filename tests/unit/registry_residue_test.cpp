#include "cleanup/registry_residue.h"

#include <gtest/gtest.h>

#include <string>

#include "cleanup/safe_paths.h"
#include "platform/sim/sim_machine.h"

namespace spoolsweep {
namespace {

constexpr Handle kHkcu = kHkeyCurrentUser;
constexpr Handle kHklm = kHkeyLocalMachine;
constexpr Handle kHku = kHkeyUsers;
const std::u16string kSid(kFixedAccountSid);

RegistryKey OpenForTest(sim::SimMachine& sim, Handle root, std::u16string_view path) {
    Registry& registry = sim.machine().registry;
    return RegistryKey(registry.OpenKeyEx(root, path, kKeyAllAccess).handle, {&registry});
}

TEST(RegistryResidue, PrinterSetRemovesThatPrinterAndTheWholeWatermarkKey) {
    sim::SimMachine sim;
    for (std::u16string_view printer : {u"P1", u"P2"}) {
        sim.CreateKey(kHkcu, u"Printers\\Settings\\Printers\\" + std::u16string(printer) + u"\\Sub");
        sim.CreateKey(kHku, u".DEFAULT\\Printers\\Settings\\Printers\\" + std::u16string(printer));
        sim.SetString(kHkcu, u"Printers\\Settings", printer, u"x");
        sim.CreateKey(kHklm, u"Software\\Norvel\\Trackwell\\printers\\" + std::u16string(printer));
        sim.CreateKey(kHkcu, u"Software\\Norvel\\Job Properties\\LocalWaterMarkData\\Printers\\" +
                                 std::u16string(printer));
    }
    sim.CreateKey(kHklm, u"SYSTEM\\CurrentControlSet\\Control\\Print\\Watermark\\P2");

    DeletePrinterRegistryResidue(sim.machine().registry, u"P1");

    EXPECT_FALSE(sim.KeyExists(kHkcu, u"Printers\\Settings\\Printers\\P1"));
    EXPECT_FALSE(sim.KeyExists(kHku, u".DEFAULT\\Printers\\Settings\\Printers\\P1"));
    EXPECT_FALSE(sim.ValueExists(kHkcu, u"Printers\\Settings", u"P1"));
    EXPECT_FALSE(sim.KeyExists(kHklm, u"Software\\Norvel\\Trackwell\\printers\\P1"));
    EXPECT_FALSE(sim.KeyExists(kHkcu, u"Software\\Norvel\\Job Properties\\LocalWaterMarkData\\Printers\\P1"));
    EXPECT_FALSE(sim.KeyExists(kHklm, u"SYSTEM\\CurrentControlSet\\Control\\Print\\Watermark"));

    EXPECT_TRUE(sim.KeyExists(kHkcu, u"Printers\\Settings\\Printers\\P2\\Sub"));
    EXPECT_TRUE(sim.KeyExists(kHku, u".DEFAULT\\Printers\\Settings\\Printers\\P2"));
    EXPECT_TRUE(sim.ValueExists(kHkcu, u"Printers\\Settings", u"P2"));
    EXPECT_TRUE(sim.KeyExists(kHklm, u"Software\\Norvel\\Trackwell\\printers\\P2"));
}

TEST(RegistryResidue, DriverSetRemovesDevModeParentOnlyWhenEmpty) {
    sim::SimMachine sim;
    const std::u16string x64Drivers =
        u"System\\ControlSet002\\Control\\Print\\Environments\\Windows x64\\Drivers";
    sim.CreateKey(kHkcu, u"Printers\\DMTDevMode\\P1");
    sim.CreateKey(kHkcu, u"Printers\\DMTDevMode\\P2");
    sim.CreateKey(kHku, u".DEFAULT\\Printers\\DMTDevMode\\P1");
    sim.CreateKey(kHkcu, u"Software\\Norvel\\Job Properties\\Driver\\abc12");
    sim.CreateKey(kHkcu, u"Software\\Norvel\\Job Properties\\Driver\\other");
    sim.CreateKey(kHklm, x64Drivers + u"\\Version-3\\P1\\Sub");
    sim.CreateKey(
        kHklm,
        u"System\\ControlSet003\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-2\\P1");
    sim.CreateKey(kHklm, x64Drivers + u"\\Version-3\\P2");

    DeleteDriverRegistryResidue(sim.machine().registry, u"P1", u"abc12");
    EXPECT_FALSE(sim.KeyExists(kHkcu, u"Printers\\DMTDevMode\\P1"));
    EXPECT_TRUE(sim.KeyExists(kHkcu, u"Printers\\DMTDevMode\\P2"));
    EXPECT_FALSE(sim.KeyExists(kHku, u".DEFAULT\\Printers\\DMTDevMode\\P1"));
    EXPECT_FALSE(sim.KeyExists(kHkcu, u"Software\\Norvel\\Job Properties\\Driver\\abc12"));
    EXPECT_TRUE(sim.KeyExists(kHkcu, u"Software\\Norvel\\Job Properties\\Driver\\other"));
    EXPECT_FALSE(sim.KeyExists(kHklm, x64Drivers + u"\\Version-3\\P1"));
    EXPECT_FALSE(sim.KeyExists(
        kHklm,
        u"System\\ControlSet003\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-2\\P1"));
    EXPECT_TRUE(sim.KeyExists(kHklm, x64Drivers + u"\\Version-3\\P2"));

    // An empty model name would name the whole "Driver" key: that step is passed over.
    DeleteDriverRegistryResidue(sim.machine().registry, u"P2", u"");
    EXPECT_FALSE(sim.KeyExists(kHkcu, u"Printers\\DMTDevMode"));
    EXPECT_TRUE(sim.KeyExists(kHkcu, u"Software\\Norvel\\Job Properties\\Driver\\other"));
}

TEST(RegistryResidue, SweepEmptiesKeysButKeepsThemAndTheirValues) {
    sim::SimMachine sim;
    const std::u16string csr =
        u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\Client Side Rendering Print "
        u"Provider\\Servers";
    sim.SetString(kHkcu, u"Printers\\Settings\\Wizard", u"Driver Name", u"d");
    sim.SetString(kHkcu, u"Printers\\Settings\\Wizard", u"Other", u"o");
    sim.CreateKey(kHklm, u"System\\ControlSet001\\Control\\Print\\Watermark\\W");
    sim.SetString(kHklm, u"SOFTWARE\\PPML\\PostScript", u"A", u"a");
    sim.SetString(kHklm, u"SOFTWARE\\PPML\\PostScript", u"B", u"b");
    sim.CreateKey(kHklm, u"SOFTWARE\\PPML\\PostScript\\Keep");
    sim.SetString(kHkcu, u"Printers\\Settings\\Printers", u"Kept", u"v");
    sim.CreateKey(kHkcu, u"Printers\\Settings\\Printers\\P1\\Deep\\Deeper");
    sim.CreateKey(kHkcu, u"Printers\\Settings\\Printers\\P2");
    sim.CreateKey(kHku, kSid + u"\\Printers\\DevModes2\\X");
    sim.CreateKey(kHku, kSid + u"\\Printers\\Settings\\Printers\\P1");
    sim.SetString(kHku, u".DEFAULT\\Printers\\DevModes2", u"P1", u"x");
    sim.CreateKey(kHklm, csr + u"\\server1\\Printers\\P9");

    DeleteAllPrinterRegistryResidue(sim.machine().registry);

    EXPECT_FALSE(sim.ValueExists(kHkcu, u"Printers\\Settings\\Wizard", u"Driver Name"));
    EXPECT_TRUE(sim.ValueExists(kHkcu, u"Printers\\Settings\\Wizard", u"Other"));
    EXPECT_FALSE(sim.KeyExists(kHklm, u"System\\ControlSet001\\Control\\Print\\Watermark"));
    EXPECT_TRUE(sim.ValueNames(kHklm, u"SOFTWARE\\PPML\\PostScript").empty());
    EXPECT_TRUE(sim.KeyExists(kHklm, u"SOFTWARE\\PPML\\PostScript\\Keep"));
    EXPECT_TRUE(sim.SubkeyNames(kHkcu, u"Printers\\Settings\\Printers").empty());
    EXPECT_TRUE(sim.ValueExists(kHkcu, u"Printers\\Settings\\Printers", u"Kept"));
    EXPECT_FALSE(sim.KeyExists(kHku, kSid + u"\\Printers\\DevModes2"));
    EXPECT_TRUE(sim.KeyExists(kHku, kSid + u"\\Printers\\Settings\\Printers"));
    EXPECT_TRUE(sim.SubkeyNames(kHku, kSid + u"\\Printers\\Settings\\Printers").empty());
    EXPECT_TRUE(sim.ValueNames(kHku, u".DEFAULT\\Printers\\DevModes2").empty());
    EXPECT_TRUE(sim.KeyExists(kHklm, csr));
    EXPECT_TRUE(sim.SubkeyNames(kHklm, csr).empty());
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
}

TEST(RegistryResidue, OverlongNameEndsEnumerationButCollectedNamesGo) {
    sim::SimMachine sim;
    const std::u16string parent = u"Printers\\Settings\\Printers";
    const std::u16string overlong = u"M" + std::u16string(259, u'x');  // 260 units
    for (const std::u16string& name : {std::u16string(u"A1"), overlong, std::u16string(u"Z1")}) {
        sim.CreateKey(kHkcu, parent + u"\\" + name);
        sim.SetString(kHklm, u"SOFTWARE\\PPML\\PostScript", name, u"v");
    }
    ASSERT_EQ(sim.SubkeyNames(kHkcu, parent).front(), u"A1");  // enumeration order of the simulated registry

    EXPECT_EQ(CountSubkeys(sim.machine().registry, OpenForTest(sim, kHkcu, parent)), 1u);
    DeleteAllSubkeys(sim.machine().registry, OpenForTest(sim, kHkcu, parent));
    DeleteAllValues(sim.machine().registry, kHklm, u"SOFTWARE\\PPML\\PostScript");

    EXPECT_EQ(sim.SubkeyNames(kHkcu, parent), (std::vector<std::u16string>{overlong, u"Z1"}));
    EXPECT_EQ(sim.ValueNames(kHklm, u"SOFTWARE\\PPML\\PostScript").size(), 2u);
    EXPECT_FALSE(sim.ValueExists(kHklm, u"SOFTWARE\\PPML\\PostScript", u"A1"));
    EXPECT_EQ(sim.OpenHandleCount(), 0u);  // the keys handed over were closed
}

TEST(RegistryResidue, NamesThatCouldReachAnotherKeyAreNotDeleted) {
    for (std::u16string_view name : {u"", u"\\", u"\\\\server\\", u"..", u"a\\..\\..", u"a\\\\b", u"."}) {
        EXPECT_FALSE(BuildSubkeyPath(u"K", name)) << std::string(name.begin(), name.end());
    }
    EXPECT_EQ(BuildSubkeyPath(u"K", u"\\\\server\\P1").value(), u"K\\\\\\server\\P1");
    EXPECT_EQ(BuildSubkeyPath(u"K", u"P 1.x").value(), u"K\\P 1.x");

    sim::SimMachine sim;
    sim.CreateKey(kHkcu, u"Printers\\Settings\\Printers\\server");
    sim.CreateKey(kHkcu, u"Software\\Norvel\\Job Properties\\LocalWaterMarkData\\Printers\\P1");
    DeletePrinterRegistryResidue(sim.machine().registry, u"");
    DeletePrinterRegistryResidue(sim.machine().registry, u"\\\\server\\");
    EXPECT_TRUE(sim.KeyExists(kHkcu, u"Printers\\Settings\\Printers\\server"));
    EXPECT_TRUE(sim.KeyExists(kHkcu, u"Software\\Norvel\\Job Properties\\LocalWaterMarkData\\Printers\\P1"));
}

}  // namespace
}  // namespace spoolsweep
