#include "cleanup/registry_facts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace spoolsweep {
namespace {

using sim::SimMachine;

constexpr std::u16string_view kTestKey = u"SOFTWARE\\Spoolsweep Test";
constexpr std::u16string_view kArchitectureKey =
    u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

std::vector<std::uint8_t> Utf16Bytes(std::u16string_view text) {
    std::vector<std::uint8_t> bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

std::u16string ReadTestValue(SimMachine& sim, std::u16string_view name) {
    return ReadRegistryString(sim.machine().registry, kHkeyLocalMachine, kTestKey, name);
}

void SetArchitecture(SimMachine& sim, std::u16string_view architecture) {
    sim.SetString(kHkeyLocalMachine, kArchitectureKey, u"PROCESSOR_ARCHITECTURE", architecture);
}

// A driver installed in both environments with a data file and INF path that tell the environments apart.
void AddDriverInBothEnvironments(SimMachine& sim, std::u16string_view name) {
    sim.AddDriver({u"Windows NT x86", std::u16string(name), u"x86data.ppd", u"C:\\inf\\x86.inf"});
    sim.AddDriver({u"Windows x64", std::u16string(name), u"x64data.ppd", u"C:\\inf\\x64.inf"});
}

TEST(RegistryFacts, ReadsStringsWithoutTrailingNullsOrMissingAsEmpty) {
    SimMachine sim;
    sim.SetString(kHkeyLocalMachine, kTestKey, u"Text", u"abc");
    sim.SetValue(kHkeyLocalMachine, kTestKey, u"Padded", sim::kRegSz,
                 Utf16Bytes(std::u16string(u"ab\0\0\0", 5)));
    sim.SetValue(kHkeyLocalMachine, kTestKey, u"Empty", sim::kRegSz, {});

    EXPECT_EQ(ReadTestValue(sim, u"Text"), u"abc");
    EXPECT_EQ(ReadTestValue(sim, u"Padded"), u"ab");
    EXPECT_EQ(ReadTestValue(sim, u"Empty"), u"");
    EXPECT_EQ(ReadTestValue(sim, u"Missing"), u"");
    EXPECT_EQ(
        ReadRegistryString(sim.machine().registry, kHkeyLocalMachine, u"SOFTWARE\\No Such Key", u"Text"),
        u"");
    // The value name is looked for in the given root only.
    EXPECT_EQ(ReadRegistryString(sim.machine().registry, kHkeyCurrentUser, kTestKey, u"Text"), u"");
}

TEST(RegistryFacts, ReadsOtherTypesAsRawUnitsWithinTheirData) {
    SimMachine sim;
    // 'A' then a lone byte: the odd byte is no unit of its own.
    sim.SetValue(kHkeyLocalMachine, kTestKey, u"Odd", sim::kRegBinary, {0x41, 0x00, 0x42});
    // REG_DWORD 0x00000043: 'C' and a null unit.
    sim.SetValue(kHkeyLocalMachine, kTestKey, u"Dword", sim::kRegDword, {0x43, 0x00, 0x00, 0x00});
    sim.SetValue(kHkeyLocalMachine, kTestKey, u"Cyrillic", sim::kRegDword, {0x16, 0x04, 0x41, 0x00});
    sim.SetMultiString(kHkeyLocalMachine, kTestKey, u"Multi", {u"A4", u"Letter"});

    EXPECT_EQ(ReadTestValue(sim, u"Odd"), u"A");
    EXPECT_EQ(ReadTestValue(sim, u"Dword"), u"C");
    EXPECT_EQ(ReadTestValue(sim, u"Cyrillic"), u"\u0416A");
    EXPECT_EQ(ReadTestValue(sim, u"Multi"), std::u16string(u"A4\0Letter", 9));
}

TEST(RegistryFacts, ReadsPrintMediaAsAListOfStrings) {
    SimMachine sim;
    const std::u16string dsDriver = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\P1\\DsDriver";
    sim.SetMultiString(kHkeyLocalMachine, dsDriver, u"printMediaSupported", {u"A4", u"Letter"});
    const std::u16string other = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\P2\\DsDriver";
    sim.SetValue(kHkeyLocalMachine, other, u"printMediaSupported", sim::kRegMultiSz,
                 Utf16Bytes(std::u16string(u"A5\0\0Legal\0\0", 11)));

    std::vector<std::u16string> media{u"left over"};
    ReadPrintMediaSupported(sim.machine().registry, u"P1", media);
    EXPECT_EQ(media, (std::vector<std::u16string>{u"A4", u"Letter"}));

    ReadPrintMediaSupported(sim.machine().registry, u"P2", media);
    EXPECT_EQ(media, std::vector<std::u16string>{u"A5"}) << "the list ends at its first empty string";

    ReadPrintMediaSupported(sim.machine().registry, u"P3", media);
    EXPECT_TRUE(media.empty());
}

TEST(RegistryFacts, ReducesHardwareIdsToFileNameForm) {
    SimMachine sim;
    const auto setId = [&](std::u16string_view printer, std::u16string_view id) {
        sim.SetString(
            kHkeyLocalMachine,
            u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\" + std::u16string(printer) + u"\\PnPData",
            u"HardwareID", id);
    };
    setId(u"Usb", u"LPTENUM\\A-B&C.D");
    setId(u"Plain", u"X-Y");
    setId(u"Nested", u"USBPRINT\\V\\M.1");
    setId(u"Blank", u"");
    Registry& registry = sim.machine().registry;

    EXPECT_EQ(ReadPrinterHardwareId(registry, u"Usb"), u"A_B_C_D");
    EXPECT_EQ(ReadPrinterHardwareId(registry, u"Plain"), u"X_Y");
    EXPECT_EQ(ReadPrinterHardwareId(registry, u"Nested"), u"V\\M_1")
        << "only the first backslash ends the prefix";
    EXPECT_EQ(ReadPrinterHardwareId(registry, u"Blank"), u"");
    EXPECT_EQ(ReadPrinterHardwareId(registry, u"Missing"), u"");
}

TEST(RegistryFacts, CutsDataFileNamesAtTheFirstDot) {
    SimMachine sim;
    sim.AddDriver({u"Windows x64", u"Ppd", u"abc12.ppd", u""});
    sim.AddDriver({u"Windows x64", u"TwoDots", u"NorvelAB12.v2.PPD", u""});
    sim.AddDriver({u"Windows x64", u"NoDot", u"abc12", u""});
    Registry& registry = sim.machine().registry;

    EXPECT_EQ(ReadDriverDataFileBase(registry, u"Ppd"), u"abc12");
    EXPECT_EQ(ReadDriverDataFileBase(registry, u"TwoDots"), u"NorvelAB12");
    EXPECT_EQ(ReadDriverDataFileBase(registry, u"NoDot"), u"");
    EXPECT_EQ(ReadDriverDataFileBase(registry, u"NotInstalled"), u"");
}

TEST(RegistryFacts, ReadsDriverFactsFromTheEnvironmentOfTheArchitecture) {
    SimMachine sim;
    AddDriverInBothEnvironments(sim, u"Drv");
    Registry& registry = sim.machine().registry;

    SetArchitecture(sim, u"x86");
    EXPECT_EQ(ReadDriverDataFileBase(registry, u"Drv"), u"x86data");
    EXPECT_EQ(ReadDriverInfPath(registry, u"Drv"), u"C:\\inf\\x86.inf");

    SetArchitecture(sim, u"AMD64");
    EXPECT_EQ(ReadDriverDataFileBase(registry, u"Drv"), u"x64data");
    EXPECT_EQ(ReadDriverInfPath(registry, u"Drv"), u"C:\\inf\\x64.inf");

    // Any other value: no data file, and the INF path of the x64 key. The comparison keeps letter case.
    for (std::u16string_view other : {u"IA64", u"amd64", u"X86", u""}) {
        SetArchitecture(sim, other);
        EXPECT_EQ(ReadDriverDataFileBase(registry, u"Drv"), u"");
        EXPECT_EQ(ReadDriverInfPath(registry, u"Drv"), u"C:\\inf\\x64.inf");
    }
}

TEST(RegistryFacts, ReadsRecordedDriverNameByPrinterKindAndProvider) {
    SimMachine sim;
    const std::u16string providers = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\";
    sim.SetString(kHkeyLocalMachine, u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Drv\\DsSpooler",
                  u"driverName", u"local");
    sim.SetString(kHkeyLocalMachine,
                  providers + u"LanMan Print Services\\Servers\\srv\\Printers\\Drv\\PrinterDriverData",
                  u"driverName", u"lanman");
    sim.SetString(
        kHkeyLocalMachine,
        providers + u"Client Side Rendering Print Provider\\Servers\\srv\\Printers\\Drv\\PrinterDriverData",
        u"driverName", u"csr");

    Machine& machine = sim.machine();
    sim.SetOsVersion(6);
    EXPECT_EQ(ReadDsDriverName(machine.registry, machine.system, u"Drv", u""), u"local");
    EXPECT_EQ(ReadDsDriverName(machine.registry, machine.system, u"Drv", u"srv"), u"csr");
    EXPECT_EQ(ReadDsDriverName(machine.registry, machine.system, u"Other", u"srv"), u"");
}

TEST(RegistryFacts, ReadsConnectionsUnderLanManBeforeVista) {
    SimMachine sim;
    sim.SetOsVersion(5, 1);
    sim.SetString(kHkeyLocalMachine,
                  u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\LanMan Print "
                  u"Services\\Servers\\srv\\Printers\\Drv\\PrinterDriverData",
                  u"driverName", u"lanman");
    Machine& machine = sim.machine();
    EXPECT_EQ(ReadDsDriverName(machine.registry, machine.system, u"Drv", u"srv"), u"lanman");
}

TEST(RegistryFacts, ExpandsTheUserTempSettingOrLeavesItWhole) {
    SimMachine sim;
    Registry& registry = sim.machine().registry;
    EXPECT_EQ(ReadUserTempSetting(registry), u"%USERPROFILE%\\AppData\\Local\\Temp");
    EXPECT_EQ(GetUserTempPath(registry), u"C:\\Users\\admin\\AppData\\Local\\Temp");

    // Fits unexpanded, not expanded: it is returned as set, never cut.
    const std::u16string tail(230, u'x');
    sim.SetString(kHkeyCurrentUser, u"Environment", u"Temp", u"%USERPROFILE%\\" + tail, sim::kRegExpandSz);
    EXPECT_EQ(GetUserTempPath(registry), u"%USERPROFILE%\\" + tail);

    // Longer than the buffer already: returned as set.
    const std::u16string longPath = u"C:\\" + std::u16string(300, u'y');
    sim.SetString(kHkeyCurrentUser, u"Environment", u"Temp", longPath, sim::kRegExpandSz);
    EXPECT_EQ(GetUserTempPath(registry), longPath);
}

}  // namespace
}  // namespace spoolsweep
