#include "cleanup/registry_facts.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace spoolsweep {
namespace {

using sim::SimMachine;

constexpr std::u16string_view kKey = u"SOFTWARE\\Spoolsweep Test";
constexpr std::u16string_view kPrinters = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
constexpr std::u16string_view kProviders =
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\";

std::vector<std::uint8_t> Utf16Bytes(std::u16string_view text) {
    std::vector<std::uint8_t> bytes;
    for (char16_t unit : text) {
        bytes.insert(bytes.end(),
                     {static_cast<std::uint8_t>(unit & 0xFF), static_cast<std::uint8_t>(unit >> 8)});
    }
    return bytes;
}

std::u16string Read(SimMachine& sim, std::u16string_view name, Handle root = kHkeyLocalMachine) {
    return ReadRegistryString(sim.machine().registry, root, kKey, name);
}

void SetArchitecture(SimMachine& sim, std::u16string_view architecture) {
    sim.SetString(kHkeyLocalMachine, u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
                  u"PROCESSOR_ARCHITECTURE", architecture);
}

TEST(RegistryFacts, ReadsValuesAsUnitsWithinTheirData) {
    SimMachine sim;
    sim.SetString(kHkeyLocalMachine, kKey, u"Text", u"abc");
    sim.SetValue(kHkeyLocalMachine, kKey, u"Padded", sim::kRegSz, Utf16Bytes(std::u16string(u"ab\0\0\0", 5)));
    sim.SetValue(kHkeyLocalMachine, kKey, u"Odd", sim::kRegBinary, {0x41, 0x00, 0x42});
    sim.SetValue(kHkeyLocalMachine, kKey, u"Dword", sim::kRegDword, {0x43, 0x00, 0x00, 0x00});
    sim.SetMultiString(kHkeyLocalMachine, kKey, u"Multi", {u"A4", u"Letter"});

    EXPECT_EQ(Read(sim, u"Text"), u"abc");
    EXPECT_EQ(Read(sim, u"Padded"), u"ab");
    EXPECT_EQ(Read(sim, u"Odd"), u"A") << "a lone last byte is no unit";
    EXPECT_EQ(Read(sim, u"Dword"), u"C");
    EXPECT_EQ(Read(sim, u"Multi"), std::u16string(u"A4\0Letter", 9));
    EXPECT_EQ(Read(sim, u"Missing"), u"");
    EXPECT_EQ(Read(sim, u"Text", kHkeyCurrentUser), u"");
}

TEST(RegistryFacts, ReadsPrintMediaAsAListOfStrings) {
    SimMachine sim;
    const std::u16string p1 = std::u16string(kPrinters) + u"P1\\DsDriver";
    const std::u16string p2 = std::u16string(kPrinters) + u"P2\\DsDriver";
    sim.SetMultiString(kHkeyLocalMachine, p1, u"printMediaSupported", {u"A4", u"Letter"});
    sim.SetValue(kHkeyLocalMachine, p2, u"printMediaSupported", sim::kRegMultiSz,
                 Utf16Bytes(std::u16string(u"A5\0\0Legal\0\0", 11)));

    std::vector<std::u16string> media{u"left over"};
    ReadPrintMediaSupported(sim.machine().registry, u"P1", media);
    EXPECT_EQ(media, (std::vector<std::u16string>{u"A4", u"Letter"}));
    ReadPrintMediaSupported(sim.machine().registry, u"P2", media);
    EXPECT_EQ(media, std::vector<std::u16string>{u"A5"}) << "an empty string ends the list";
    ReadPrintMediaSupported(sim.machine().registry, u"P3", media);
    EXPECT_TRUE(media.empty());
}

TEST(RegistryFacts, ReducesHardwareIdsAndDataFileNames) {
    SimMachine sim;
    sim.AddDriver({u"Windows x64", u"Ppd", u"abc12.ppd", u""});
    sim.AddDriver({u"Windows x64", u"NoDot", u"abc12", u""});
    Registry& registry = sim.machine().registry;
    for (auto [printer, id, reduced] : {std::tuple{u"Usb", u"LPTENUM\\A-B&C.D", u"A_B_C_D"},
                                        {u"Plain", u"X-Y", u"X_Y"},
                                        {u"Nested", u"U\\V\\M.1", u"V\\M_1"},
                                        {u"Blank", u"", u""}}) {
        sim.SetString(kHkeyLocalMachine, std::u16string(kPrinters) + printer + u"\\PnPData", u"HardwareID",
                      id);
        EXPECT_EQ(ReadPrinterHardwareId(registry, printer), reduced);
    }
    EXPECT_EQ(ReadPrinterHardwareId(registry, u"Missing"), u"");
    EXPECT_EQ(ReadDriverDataFileBase(registry, u"Ppd"), u"abc12");
    EXPECT_EQ(ReadDriverDataFileBase(registry, u"NoDot"), u"");
    EXPECT_EQ(ReadDriverDataFileBase(registry, u"Missing"), u"");
}

TEST(RegistryFacts, ReadsDriverFactsFromTheEnvironmentOfTheArchitecture) {
    SimMachine sim;
    sim.AddDriver({u"Windows NT x86", u"Drv", u"x86data.ppd", u"x86.inf"});
    sim.AddDriver({u"Windows x64", u"Drv", u"x64data.ppd", u"x64.inf"});
    Registry& registry = sim.machine().registry;

    SetArchitecture(sim, u"x86");
    EXPECT_EQ(ReadDriverDataFileBase(registry, u"Drv"), u"x86data");
    EXPECT_EQ(ReadDriverInfPath(registry, u"Drv"), u"x86.inf");
    SetArchitecture(sim, u"AMD64");
    EXPECT_EQ(ReadDriverDataFileBase(registry, u"Drv"), u"x64data");
    EXPECT_EQ(ReadDriverInfPath(registry, u"Drv"), u"x64.inf");
    for (std::u16string_view other : {u"IA64", u"amd64", u"X86"}) {
        SetArchitecture(sim, other);
        EXPECT_EQ(ReadDriverDataFileBase(registry, u"Drv"), u"");
        EXPECT_EQ(ReadDriverInfPath(registry, u"Drv"), u"x64.inf");
    }
}

// The OS version is read once per machine, so each provider branch gets its own machine.
TEST(RegistryFacts, ReadsRecordedDriverNamesByPrinterKindAndProvider) {
    for (std::uint32_t major : {5U, 6U}) {
        SimMachine sim;
        sim.SetOsVersion(major);
        sim.SetString(kHkeyLocalMachine, std::u16string(kPrinters) + u"Drv\\DsSpooler", u"driverName",
                      u"local");
        for (std::u16string_view provider :
             {u"LanMan Print Services", u"Client Side Rendering Print Provider"}) {
            sim.SetString(kHkeyLocalMachine,
                          std::u16string(kProviders) + std::u16string(provider) +
                              u"\\Servers\\srv\\Printers\\Drv\\PrinterDriverData",
                          u"driverName", provider);
        }
        // A recorded name ends at its first null.
        sim.SetMultiString(kHkeyLocalMachine, std::u16string(kPrinters) + u"P1\\DsSpooler", u"driverName",
                           {u"Drv", u"Other"});
        Machine& machine = sim.machine();
        EXPECT_EQ(ReadDsDriverName(machine.registry, machine.system, u"Drv", u""), u"local");
        EXPECT_EQ(ReadDsDriverName(machine.registry, machine.system, u"Drv", u"srv"),
                  major < 6 ? u"LanMan Print Services" : u"Client Side Rendering Print Provider");
        EXPECT_EQ(ReadDsDriverName(machine.registry, machine.system, u"Other", u"srv"), u"");
        EXPECT_EQ(ReadDsDriverName(machine.registry, machine.system, u"P1", u""), u"Drv");
    }
}

TEST(RegistryFacts, ExpandsTheUserTempSettingOrLeavesItWhole) {
    SimMachine sim;
    Registry& registry = sim.machine().registry;
    EXPECT_EQ(ReadUserTempSetting(registry), u"%USERPROFILE%\\AppData\\Local\\Temp");
    EXPECT_EQ(GetUserTempPath(registry), u"C:\\Users\\admin\\AppData\\Local\\Temp");

    // 244 units expand to 259, which fit the buffer with their terminator; one more does not, and is
    // returned as set, never cut. So is a setting that does not even fit as it is, though its expansion
    // would.
    const auto setTemp = [&](const std::u16string& value) {
        sim.SetString(kHkeyCurrentUser, u"Environment", u"Temp", value, sim::kRegExpandSz);
    };
    setTemp(u"%USERPROFILE%\\" + std::u16string(244, u'x'));
    EXPECT_EQ(GetUserTempPath(registry), u"C:\\Users\\admin\\" + std::u16string(244, u'x'));
    for (const std::u16string& setting :
         {u"%USERPROFILE%\\" + std::u16string(245, u'x'), u"C:\\" + std::u16string(300, u'y'),
          u"%SystemDrive%\\" + std::u16string(246, u'x')}) {
        setTemp(setting);
        EXPECT_EQ(GetUserTempPath(registry), setting) << "a setting too long for the buffer is used";
    }
}

}  // namespace
}  // namespace spoolsweep
