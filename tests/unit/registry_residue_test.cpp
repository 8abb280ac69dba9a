#include "cleanup/registry_residue.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "cleanup/safe_paths.h"
#include "platform/sim/sim_machine.h"

namespace spoolsweep {
namespace {

constexpr Handle kHkcu = kHkeyCurrentUser;
constexpr Handle kHklm = kHkeyLocalMachine;
constexpr Handle kHku = kHkeyUsers;
const std::string kSid = "S-1-5-21-1000000001-2000000002-3000000003-40000";

// One step of a removal set: the key it acts on, and what that key holds before the run. A key with
// `values` loses them one by one; a key with `subkeys` loses them; a key with neither goes whole.
struct Step {
    Handle root;
    std::string path;
    std::vector<std::string> values;
    std::vector<std::string> subkeys;
};

std::string RootName(Handle root) {
    return root == kHkcu ? "HKCU" : root == kHklm ? "HKLM" : "HKU";
}

std::u16string Wide(const std::string& text) {
    return {text.begin(), text.end()};
}

// Registry names compare without case, and the journal spells them as the machine first created them.
std::vector<std::string> Upper(std::vector<std::string> lines) {
    for (std::string& line : lines) {
        for (char& c : line) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    return lines;
}

// Creates every step's key and returns the journal the set must write, in order.
std::vector<std::string> Arrange(sim::SimMachine& sim, const std::vector<Step>& steps) {
    std::vector<std::string> expected;
    for (const Step& step : steps) {
        const std::string key = RootName(step.root) + "\\" + step.path;
        sim.CreateKey(step.root, Wide(step.path));
        for (const std::string& value : step.values) {
            sim.SetString(step.root, Wide(step.path), Wide(value), u"x");
            expected.push_back("RegDeleteValueW " + key + " " + value);
        }
        for (const std::string& subkey : step.subkeys) {
            sim.CreateKey(step.root, Wide(step.path + "\\" + subkey + "\\Deeper"));
            expected.push_back("SHDeleteKeyW " + key + "\\" + subkey);
        }
        if (step.values.empty() && step.subkeys.empty()) {
            sim.CreateKey(step.root, Wide(step.path + "\\Deeper"));
            expected.push_back("SHDeleteKeyW " + key);
        }
    }
    return expected;
}

const std::string kCsv = "System\\CurrentControlSet\\Control\\Print\\Environments\\";
const std::string kCs1 = "System\\ControlSet001\\Control\\Print\\Environments\\";
const std::string kCs2 = "System\\ControlSet002\\Control\\Print\\Environments\\";
const std::string kCs3 = "System\\ControlSet003\\Control\\Print\\Environments\\";

TEST(RegistryResidue, PrinterSetRemovesItsKeysInOrderAndNoOtherPrinters) {
    sim::SimMachine sim;
    const std::vector<Step> otherPrinter = {
        {kHkcu, "Printers\\Settings\\Printers\\P2", {}, {}},
        {kHkcu, "Printers\\Settings", {"P2"}, {}},
        {kHklm, "Software\\Norvel\\Trackwell\\printers\\P2", {}, {}},
    };
    (void)Arrange(sim, otherPrinter);
    const std::vector<std::string> expected = Arrange(
        sim, {
                 {kHkcu, "Printers\\Settings\\Printers\\P1", {}, {}},
                 {kHku, ".DEFAULT\\Printers\\Settings\\Printers\\P1", {}, {}},
                 {kHkcu, "Printers\\Settings", {"P1"}, {}},
                 {kHklm, "Software\\Norvel\\Trackwell\\printers\\P1", {}, {}},
                 {kHkcu, "Software\\Norvel\\Job Properties\\LocalWaterMarkData\\Printers\\P1", {}, {}},
                 {kHklm, "SYSTEM\\CurrentControlSet\\Control\\Print\\Watermark", {}, {}},
             });

    DeletePrinterRegistryResidue(sim.machine().registry, u"P1");

    EXPECT_EQ(Upper(sim.journal()), Upper(expected));
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
}

TEST(RegistryResidue, DriverSetRemovesItsKeysInOrder) {
    struct Case {
        const char* label;
        bool otherPrinterCached;  // another printer's device mode stays, and with it "DMTDevMode"
    };
    for (const Case& c : {Case{"alone", false}, Case{"other printer cached", true}}) {
        sim::SimMachine sim;
        if (c.otherPrinterCached) {
            sim.CreateKey(kHkcu, u"Printers\\DMTDevMode\\P2");
        }
        sim.CreateKey(kHkcu, u"Software\\Norvel\\Job Properties\\Driver\\P1");  // the name is not the model
        std::vector<Step> steps = {{kHkcu, "Printers\\DMTDevMode\\P1", {}, {}}};
        std::vector<std::string> expected = Arrange(sim, steps);
        if (!c.otherPrinterCached) {
            expected.push_back("SHDeleteKeyW HKCU\\Printers\\DMTDevMode");
        }
        steps = {{kHku, ".DEFAULT\\Printers\\DMTDevMode\\P1", {}, {}},
                 {kHkcu, "Software\\Norvel\\Job Properties\\Driver\\abc12", {}, {}}};
        for (const std::string& controlSet : {kCsv, kCs1, kCs2, kCs3}) {
            steps.push_back({kHklm, controlSet + "Windows NT x86\\Drivers\\Version-3\\P1", {}, {}});
        }
        for (const std::string& controlSet : {kCsv, kCs1, kCs2, kCs3}) {
            steps.push_back({kHklm, controlSet + "Windows NT x86\\Drivers\\Version-2\\P1", {}, {}});
        }
        for (const std::string& controlSet : {kCsv, kCs1, kCs2, kCs3}) {
            steps.push_back({kHklm, controlSet + "Windows x64\\Drivers\\Version-3\\P1", {}, {}});
        }
        for (const std::string& line : Arrange(sim, steps)) {
            expected.push_back(line);
        }

        DeleteDriverRegistryResidue(sim.machine().registry, u"P1", u"abc12");

        EXPECT_EQ(Upper(sim.journal()), Upper(expected)) << c.label;
        EXPECT_EQ(sim.KeyExists(kHkcu, u"Printers\\DMTDevMode"), c.otherPrinterCached) << c.label;
    }
}

TEST(RegistryResidue, SweepEmptiesEveryKeyOfItsListInOrder) {
    sim::SimMachine sim;
    const std::string csr =
        "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\Client Side Rendering Print "
        "Provider\\Servers";
    sim.SetString(kHkcu, u"Printers\\Settings\\Wizard", u"Other", u"o");
    const std::vector<std::string> expected = Arrange(
        sim,
        {
            {kHkcu, "Printers\\Settings\\Wizard", {"Driver Name"}, {}},
            {kHklm, "SYSTEM\\CurrentControlSet\\Control\\Print\\Watermark", {}, {}},
            {kHklm, "System\\ControlSet001\\Control\\Print\\Watermark", {}, {}},
            {kHklm, "System\\ControlSet002\\Control\\Print\\Watermark", {}, {}},
            {kHklm, "System\\ControlSet003\\Control\\Print\\Watermark", {}, {}},
            {kHklm, "Software\\Microsoft\\Windows\\CurrentVersion\\Setup", {"Installation Sources"}, {}},
            {kHkcu,
             "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSaveMRU\\INF",
             {},
             {}},
            {kHku, kSid + "\\Printers\\DevModes2", {}, {}},
            {kHku, kSid + "\\Printers\\DevModePerUser", {}, {}},
            {kHku, kSid + "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg\\INF", {}, {}},
            {kHklm, "SOFTWARE\\PPML\\PostScript", {"A", "B"}, {}},
            {kHku, ".DEFAULT\\Printers\\Settings\\Printers", {}, {"P1", "P2"}},
            {kHku, "S-1-5-18\\Printers\\Settings\\Printers", {}, {"P1"}},
            {kHku, kSid + "\\Printers\\Settings\\Printers", {}, {"P1"}},
            {kHkcu, "Printers\\Settings\\Printers", {}, {"P1", "P2"}},
            {kHkcu, "Printers\\DevModes2", {"P1"}, {}},
            {kHkcu, "Printers\\DevModePerUser", {"P1"}, {}},
            {kHku, ".DEFAULT\\Printers\\DevModes2", {"P1"}, {}},
            {kHku, ".DEFAULT\\Printers\\DevModePerUser", {"P1"}, {}},
            {kHklm, csr, {}, {"server1"}},
            {kHklm,
             "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Drivers\\Version-3",
             {},
             {"D64"}},
            {kHklm,
             "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows NT x86\\Drivers\\Version-3",
             {},
             {"D86"}},
            {kHklm,
             "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Providers\\LanMan Print "
             "Services\\Servers",
             {},
             {"server2"}},
        });
    sim.SetString(kHklm, u"SOFTWARE\\PPML\\PostScript\\Keep", u"K", u"k");
    sim.SetString(kHkcu, u"Printers\\Settings\\Printers", u"Kept", u"v");

    DeleteAllPrinterRegistryResidue(sim.machine().registry);

    EXPECT_EQ(Upper(sim.journal()), Upper(expected));
    EXPECT_TRUE(sim.ValueExists(kHkcu, u"Printers\\Settings\\Printers", u"Kept"));
    EXPECT_TRUE(sim.KeyExists(kHklm, u"SOFTWARE\\PPML\\PostScript\\Keep"));
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
}

TEST(RegistryResidue, OverlongNameEndsEnumerationButCollectedNamesGo) {
    sim::SimMachine sim;
    Registry& registry = sim.machine().registry;
    const std::u16string parent = u"Printers\\Settings\\Printers";
    const std::u16string overlong = u"M" + std::u16string(259, u'x');  // 260 units
    for (const std::u16string& name : {std::u16string(u"A1"), overlong, std::u16string(u"Z1")}) {
        sim.CreateKey(kHkcu, parent + u"\\" + name);
        sim.SetString(kHklm, u"SOFTWARE\\PPML\\PostScript", name, u"v");
    }
    auto open = [&] {
        return RegistryKey(registry.OpenKeyEx(kHkcu, parent, kKeyAllAccess).handle, {&registry});
    };

    EXPECT_EQ(CountSubkeys(registry, open()), 1u);
    DeleteAllSubkeys(registry, open());
    DeleteAllValues(registry, kHklm, u"SOFTWARE\\PPML\\PostScript");

    EXPECT_EQ(sim.SubkeyNames(kHkcu, parent), (std::vector<std::u16string>{overlong, u"Z1"}));
    EXPECT_EQ(sim.ValueNames(kHklm, u"SOFTWARE\\PPML\\PostScript"),
              (std::vector<std::u16string>{overlong, u"Z1"}));
    EXPECT_EQ(sim.OpenHandleCount(), 0u);  // the keys handed over were closed
}

TEST(RegistryResidue, NamesThatCouldReachAnotherKeyAreNotDeleted) {
    for (std::u16string_view name : {u"", u"\\", u"\\\\server\\", u"..", u"a\\..\\..", u"a\\\\b", u"."}) {
        EXPECT_FALSE(BuildSubkeyPath(u"K", name)) << std::string(name.begin(), name.end());
    }
    EXPECT_EQ(BuildSubkeyPath(u"K", u"\\\\server\\P1").value(), u"K\\\\\\server\\P1");
    EXPECT_EQ(BuildSubkeyPath(u"K", u"P 1.x").value(), u"K\\P 1.x");
}

}  // namespace
}  // namespace spoolsweep
