// The cleaners on the simulated machine: files, registry residue and facts, companion processes and the
// spooler's restart.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <tuple>
#include <vector>

#include "cleanup/file_residue.h"
#include "cleanup/process_control.h"
#include "cleanup/registry_facts.h"
#include "cleanup/registry_residue.h"
#include "cleanup/safe_paths.h"
#include "cleanup/service_control.h"
#include "platform/sim/sim_machine.h"
#include "tests/unit/run_helpers.h"

namespace spoolsweep {
namespace {

using sim::SimMachine;
using test::IsRunning;
using test::kPresets;
using test::kSpool;
using test::kUserTemp;
using test::kWinTemp;

const std::u16string kExe = u"\\Tamber Driver Updater.exe";

TEST(SafePaths, NamesStayInsideTheirFolderAndKey) {
    EXPECT_EQ(BuildPathInFolder(u"C:\\T\\", u"%s.tmp", {u",,srv,P 1"}).value(), u"C:\\T\\,,srv,P 1.tmp");
    EXPECT_EQ(BuildPathInFolder(u"C:\\S", u"d\\%s\\%s\\*", {u"x64", u"HW_1"}).value(),
              u"C:\\S\\d\\x64\\HW_1\\*");
    for (std::u16string_view hostile : {u"*", u"a?", u"..\\x", u"a/b", u"C:", u"<", u"a\"b", u"\x1f"}) {
        EXPECT_FALSE(BuildPathInFolder(u"C:\\T", u"%s.tmp", {hostile}))
            << "a control unit or separator passes";
    }
    for (std::u16string_view component : {u"", u".", u"..", u"...", u"a.", u"a "}) {
        EXPECT_FALSE(BuildPathInFolder(u"C:\\S", u"d\\%s\\*", {component}));
    }
    EXPECT_FALSE(BuildPathInFolder(u"", u"x.tmp", {}));
    EXPECT_FALSE(BuildPathInFolder(u"C:\\T", u"%s\\%s", {u"a"}));  // a placeholder without a name
    EXPECT_TRUE(BuildPathInFolder(u"C:\\T", u"%s", {std::u16string(254, u'a')}));   // 259 units
    EXPECT_FALSE(BuildPathInFolder(u"C:\\T", u"%s", {std::u16string(255, u'a')}));  // 260 units

    // A registry name that could reach another key is not deleted.
    for (std::u16string_view name : {u"", u"\\", u"\\\\server\\", u"..", u"a\\..\\..", u"a\\\\b", u"."}) {
        EXPECT_FALSE(BuildSubkeyPath(u"K", name)) << std::string(name.begin(), name.end());
    }
    EXPECT_EQ(BuildSubkeyPath(u"K", u"\\\\server\\P1").value(), u"K\\\\\\server\\P1");
    EXPECT_EQ(BuildSubkeyPath(u"K", u"P 1.x").value(), u"K\\P 1.x");
}

// A local printer has no Temp files of its own.
TEST(FileResidue, ConnectionFilesGoFromBothTempFoldersUserFirstReadOnlyIncluded) {
    sim::SimMachine sim;
    sim.WriteFile(kUserTemp + u"\\P1.tmp", "x");
    sim.WriteFile(kWinTemp + u"\\P1.tmp", "x");
    DeletePrinterTempFiles(sim.machine().files, sim.machine().registry, u"P1", u"");
    EXPECT_TRUE(sim.FileExists(kUserTemp + u"\\P1.tmp"));
    EXPECT_TRUE(sim.FileExists(kWinTemp + u"\\P1.tmp"));
    sim.WriteFile(kUserTemp + u"\\,,srv,P1.tmp", "x", kFileAttributeReadOnly);
    sim.WriteFile(kWinTemp + u"\\,,srv,P1.tmp", "x");
    sim.WriteFile(kWinTemp + u"\\,,srv,P2.tmp", "x");
    sim.CreateFolder(kWinTemp + u"\\,,srv,P1.tmp.d");  // not a match
    DeletePrinterTempFiles(sim.machine().files, sim.machine().registry, u"\\\\srv\\P1", u"\\\\srv");
    EXPECT_FALSE(sim.FileExists(kUserTemp + u"\\,,srv,P1.tmp"));
    EXPECT_FALSE(sim.FileExists(kWinTemp + u"\\,,srv,P1.tmp"));
    EXPECT_TRUE(sim.FileExists(kWinTemp + u"\\,,srv,P2.tmp"));
    EXPECT_LT(test::JournalIndex(sim, "DeleteFileW C:\\Users\\admin\\AppData\\Local\\Temp\\,,srv,P1.tmp"),
              test::JournalIndex(sim, "DeleteFileW C:\\Windows\\Temp\\,,srv,P1.tmp"));
}

std::string Utf8(const std::u16string& text) {
    return {text.begin(), text.end()};
}

TEST(FileResidue, DriverTempPatternsInBothTempFoldersUserFirst) {
    struct Case {
        const char* label;
        std::u16string_view dataFileBase;
        std::u16string_view dsDriverName;
        std::vector<std::string> deleted;  // in each Temp folder, in order
    };
    const std::vector<Case> cases = {
        {"both names", u"abc12", u"Drv", {"abc12.wmk", "Drv.tmp", ",,Drv.tmp"}},
        {"no data-file base", u"", u"Drv", {"Drv.tmp", ",,Drv.tmp"}},
        {"no driver name", u"abc12", u"", {"abc12.wmk"}},
        {"neither", u"", u"", {}},
    };
    for (const Case& c : cases) {
        sim::SimMachine sim;
        std::vector<std::string> expected;
        for (const std::u16string& temp : {kUserTemp, kWinTemp}) {
            for (std::u16string_view name :
                 {u"abc12.wmk", u"Drv.tmp", u",,Drv.tmp", u".wmk", u".tmp", u",,.tmp", u"other.wmk"}) {
                sim.WriteFile(temp + u"\\" + std::u16string(name), "x", kFileAttributeReadOnly);
            }
            for (const std::string& name : c.deleted) {
                expected.push_back("SetFileAttributesW " + Utf8(temp) + "\\" + name + " 0x0");
                expected.push_back("DeleteFileW " + Utf8(temp) + "\\" + name);
            }
        }
        DeleteDriverFiles(sim.machine().files, sim.machine().registry, c.dataFileBase, c.dsDriverName, u"");
        EXPECT_EQ(sim.journal(), expected) << c.label;
    }
}

TEST(FileResidue, HardwareIdFolderIsEmptiedAndRemovedOnlyWhenEmptyAndAMatchingFolderStays) {
    sim::SimMachine sim;
    sim.WriteFile(kSpool + u"\\w32x86\\HW_1\\a.dll", "x");
    sim.WriteFile(kSpool + u"\\x64\\HW_1\\b.dll", "x", kFileAttributeReadOnly);
    sim.WriteFile(kSpool + u"\\x64\\HW_1\\sub\\c.dll", "x");
    sim.WriteFile(kSpool + u"\\x64\\shared.dll", "x");
    DeleteDriverFiles(sim.machine().files, sim.machine().registry, u"", u"", u"");
    EXPECT_TRUE(sim.FileExists(kSpool + u"\\w32x86\\HW_1\\a.dll"));  // no hardware ID: spool untouched

    DeleteDriverFiles(sim.machine().files, sim.machine().registry, u"", u"", u"HW_1");
    EXPECT_FALSE(sim.FolderExists(kSpool + u"\\w32x86\\HW_1"));
    EXPECT_FALSE(sim.FileExists(kSpool + u"\\x64\\HW_1\\b.dll"));
    EXPECT_TRUE(sim.FileExists(kSpool + u"\\x64\\HW_1\\sub\\c.dll"));
    EXPECT_TRUE(sim.FileExists(kSpool + u"\\x64\\shared.dll"));

    // A folder among the matches has its attributes reset and stays.
    sim::SimMachine matching;
    matching.WriteFile(kWinTemp + u"\\,,Drv.tmp\\inside.tmp", "x");
    matching.SetPathAttributes(kWinTemp + u"\\,,Drv.tmp", kFileAttributeDirectory | kFileAttributeHidden);
    DeleteMatchingFiles(matching.machine().files, kWinTemp + u"\\*Drv.tmp");
    EXPECT_EQ(matching.journal(),
              std::vector<std::string>{"SetFileAttributesW C:\\Windows\\Temp\\,,Drv.tmp 0x0"});
    EXPECT_TRUE(matching.FileExists(kWinTemp + u"\\,,Drv.tmp\\inside.tmp"));
}

TEST(FileResidue, PresetsPreferDmtOverDrvJpAnEmptyBaseReachesItsOwnButNotWithoutAppDataNorAnOverlongPath) {
    sim::SimMachine sim;
    Files& files = sim.machine().files;
    for (std::u16string_view prefix : {u"\\DMT_abc12.PPD", u"\\DrvJP_abc12.PPD"}) {
        sim.WriteFile(kPresets + std::u16string(prefix) + u"\\EssentialPresets\\preferences", "p");
        sim.WriteFile(kPresets + std::u16string(prefix) + u"\\EssentialPresets\\other", "o");
    }
    DeletePresetPreferences(files, u"abc12");
    EXPECT_FALSE(sim.FileExists(kPresets + u"\\DMT_abc12.PPD\\EssentialPresets\\preferences"));
    EXPECT_TRUE(sim.FileExists(kPresets + u"\\DMT_abc12.PPD\\EssentialPresets\\other"));
    EXPECT_TRUE(sim.FileExists(kPresets + u"\\DrvJP_abc12.PPD\\EssentialPresets\\preferences"));

    DeletePresetFolder(files, u"abc12");
    EXPECT_FALSE(sim.FolderExists(kPresets + u"\\DMT_abc12.PPD"));
    EXPECT_TRUE(sim.FolderExists(kPresets + u"\\DrvJP_abc12.PPD"));
    DeletePresetFolder(files, u"abc12");
    EXPECT_FALSE(sim.FolderExists(kPresets + u"\\DrvJP_abc12.PPD"));

    const std::u16string preferences = kPresets + u"\\DMT_.PPD\\EssentialPresets\\preferences";
    sim.WriteFile(preferences, "p");
    sim.SetSpecialFolder(kCsidlAppData, std::nullopt);
    DeleteDriverFiles(sim.machine().files, sim.machine().registry, u"", u"", u"");
    EXPECT_TRUE(sim.FileExists(preferences));
    sim.SetSpecialFolder(kCsidlAppData, u"C:\\Users\\admin\\AppData\\Roaming");
    DeleteDriverFiles(sim.machine().files, sim.machine().registry, u"", u"", u"");
    EXPECT_FALSE(sim.FileExists(preferences));

    // A preset path past 260 units is skipped, not cut short onto another file.
    const std::u16string longBase(240, u'x');
    const std::u16string cutShort = (kPresets + u"\\DMT_" + longBase).substr(0, kMaxPath - 1);
    sim.WriteFile(cutShort, "keep");
    DeleteDriverFiles(sim.machine().files, sim.machine().registry, longBase, u"", u"");
    EXPECT_TRUE(sim.FileExists(cutShort));
}

TEST(FileResidue, SharedResidueKeepsSubfoldersAndFoldersStillInUse) {
    sim::SimMachine sim;
    sim.WriteFile(kSpool + u"\\w32x86\\loose.dll", "x");
    sim.WriteFile(kSpool + u"\\x64\\loose.dll", "x");
    sim.WriteFile(kSpool + u"\\x64\\3\\kept.dll", "x");
    sim.WriteFile(kUserTemp + u"\\NorvelUserAuth", "x");
    sim.WriteFile(kUserTemp + u"\\Trackwell\\a.log", "x");
    DeleteSharedResidue(sim.machine().files, sim.machine().registry);
    EXPECT_FALSE(sim.FileExists(kSpool + u"\\w32x86\\loose.dll"));
    EXPECT_FALSE(sim.FileExists(kSpool + u"\\x64\\loose.dll"));
    EXPECT_TRUE(sim.FileExists(kSpool + u"\\x64\\3\\kept.dll"));
    EXPECT_FALSE(sim.FileExists(kUserTemp + u"\\NorvelUserAuth"));
    EXPECT_FALSE(sim.FolderExists(kUserTemp + u"\\Trackwell"));

    sim.WriteFile(kUserTemp + u"\\Trackwell\\sub\\b.log", "x");
    DeleteSharedResidue(sim.machine().files, sim.machine().registry);
    EXPECT_TRUE(sim.FolderExists(kUserTemp + u"\\Trackwell\\sub"));
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
}

// A tree goes without questions, errors or undo, and never through a wildcard.
TEST(FileResidue, FolderTreeGoesWholeButNeverThroughAWildcard) {
    sim::SimMachine sim;
    sim.WriteFile(u"C:\\Data\\A\\deep\\x.txt", "x", kFileAttributeReadOnly);
    sim.WriteFile(u"C:\\Data\\B\\y.txt", "y");
    EXPECT_NE(DeleteFolderTree(sim.machine().files, u"C:\\Data\\*"), 0);
    EXPECT_NE(DeleteFolderTree(sim.machine().files, u""), 0);
    EXPECT_EQ(sim.calls().Count("SHFileOperationW"), 0u);
    sim.WriteFile(kPresets + u"\\DMT_abc12.PPD\\EssentialPresets\\preferences", "p", kFileAttributeReadOnly);
    (void)DeleteFolderTree(sim.machine().files, kPresets + u"\\DMT_abc12.PPD");
    EXPECT_EQ(sim.journal(), std::vector<std::string>{
                                 "SHFileOperationW FO_DELETE "
                                 "C:\\Users\\admin\\AppData\\Roaming\\Norvel\\JPData\\DMT_abc12.PPD 0x414"});
    EXPECT_EQ(DeleteFolderTree(sim.machine().files, u"C:\\Data\\A"), 0);
    EXPECT_FALSE(sim.FolderExists(u"C:\\Data\\A"));
    EXPECT_TRUE(sim.FileExists(u"C:\\Data\\B\\y.txt"));
}

TEST(FileResidue, UpdaterFoldersFollowTheNativeArchitecture) {
    for (const auto& [architecture, install] :
         {std::pair{kProcessorArchitectureAmd64, u"C:\\Program Files (x86)\\Vantle"},
          {kProcessorArchitectureIntel, u"C:\\Program Files\\Vantle"},
          {std::uint16_t{12}, u"C:\\Program Files\\Vantle"}}) {
        sim::SimMachine sim;
        sim.SetNativeArchitecture(architecture);
        const UpdaterFolders folders = SelectUpdaterFolders(sim.machine().system);
        EXPECT_EQ(folders.install, install);
        EXPECT_EQ(folders.backup, install + std::u16string(u"_temp"));
    }
}

TEST(FileResidue, CopyUpdaterReusesTheBackupAndRestoresTheInstallFolder) {
    sim::SimMachine sim;
    const std::u16string install = u"C:\\Program Files (x86)\\Vantle";
    const std::u16string backup = install + u"_temp";
    sim.WriteFile(install + kExe, "new");
    sim.WriteFile(install + u"\\readme.txt", "r");
    sim.WriteFile(backup + kExe, "old");
    CopyUpdater(sim.machine().files, sim.machine().system, UpdaterCopy::Backup);
    EXPECT_EQ(sim.ReadFile(backup + kExe), "new");
    EXPECT_FALSE(sim.FileExists(backup + u"\\readme.txt"));

    ASSERT_EQ(DeleteFolderTree(sim.machine().files, install), 0);
    CopyUpdater(sim.machine().files, sim.machine().system, UpdaterCopy::Restore);
    EXPECT_EQ(sim.ReadFile(install + kExe), "new");

    ASSERT_EQ(DeleteFolderTree(sim.machine().files, install), 0);
    sim.faults().Fail("CreateDirectoryW", 5);
    CopyUpdater(sim.machine().files, sim.machine().system, UpdaterCopy::Restore);
    EXPECT_EQ(sim.calls().Count("CopyFileW"), 2u);
}

TEST(FileResidue, RemainingDataFilesCountTamberDrivers) {
    sim::SimMachine sim;
    sim.AddDriver({u"Windows x64", u"Tamber A", u"NorvelAB12.PPD", u"a.inf"});
    sim.AddDriver({u"Windows x64", u"Other", u"other.ppd", u"o.inf"});
    std::vector<PrinterRecord> records(4);
    const char16_t* drivers[] = {u"Tamber A", u"Other", u"Tamber A", u"Unknown"};
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i].driverName = drivers[i];
    }
    records[2].deleted = 1;
    PrinterCatalogue catalogue(records);
    catalogue.remainingDataFiles = CollectRemainingDataFiles(sim.machine().registry, catalogue);
    EXPECT_EQ(catalogue.remainingDataFiles, (std::vector<std::u16string>{u"NorvelAB12", u"other", u""}));
    EXPECT_EQ(CountTamberDataFiles(catalogue), 1);

    for (PrinterRecord& record : catalogue.printers) {
        record.deleted = 1;
    }
    catalogue.remainingDataFiles = CollectRemainingDataFiles(sim.machine().registry, catalogue);
    EXPECT_TRUE(catalogue.remainingDataFiles.empty());
    EXPECT_EQ(CountTamberDataFiles(catalogue), 0);
}

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

TEST(RegistryFacts, ReadsValuesAsUnitsWithinTheirDataAndPrintMediaAsAListOfStrings) {
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

    // printMediaSupported: a list of strings.
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

TEST(RegistryFacts, ReducesHardwareIdsAndDataFileNamesReadFromTheEnvironmentOfTheArchitecture) {
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

    // A driver's facts come from the environment of the machine's architecture.
    sim.AddDriver({u"Windows NT x86", u"Drv", u"x86data.ppd", u"x86.inf"});
    sim.AddDriver({u"Windows x64", u"Drv", u"x64data.ppd", u"x64.inf"});

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

TEST(RegistryResidue, PrinterAndDriverSetsRemoveTheirKeysInOrderAndNoOtherPrinters) {
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

    // The driver's set, alone and with another printer's device mode cached.
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

// An empty base looks for ".srv" alone.
TEST(ProcessControl, EndsOnlyTheFirstExactlyNamedCompanionOrTrackwell) {
    sim::SimMachine sim;
    const auto bare = sim.AddProcess(u".srv");
    const auto upper = sim.AddProcess(u"ABC12.srv");
    const auto first = sim.AddProcess(u"abc12.srv");
    const auto second = sim.AddProcess(u"abc12.srv");
    TerminateSrvProcess(sim.machine().processes, u"abc12");
    EXPECT_TRUE(IsRunning(sim, upper));
    EXPECT_FALSE(IsRunning(sim, first));
    EXPECT_TRUE(IsRunning(sim, second));
    // A running process reports STILL_ACTIVE, and that is the exit code it is ended with.
    EXPECT_EQ(test::CountJournal(sim, "TerminateProcess " + std::to_string(first) + " 259"), 1u);
    EXPECT_EQ(sim.calls().Count("TerminateProcess"), 1u);
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
    EXPECT_TRUE(IsRunning(sim, bare));

    TerminateSrvProcess(sim.machine().processes, u"");
    EXPECT_FALSE(IsRunning(sim, bare));
    EXPECT_TRUE(IsRunning(sim, second));

    // Trackwell: the first exact match too, ended with exit code 0. The tool runs under another account,
    // whose security grants the administrator no more than termination.
    sim::SimMachine tool;
    const auto lower = tool.AddProcess(u"trackwell.exe");
    const auto trackwell =
        tool.AddProcessRecord({u"Trackwell.exe", 0, true, kStillActive, kProcessTerminate});
    const auto later = tool.AddProcess(u"Trackwell.exe");
    TerminateTrackwell(tool.machine().processes);
    EXPECT_TRUE(IsRunning(tool, lower));
    EXPECT_FALSE(IsRunning(tool, trackwell));
    EXPECT_TRUE(IsRunning(tool, later));
    EXPECT_EQ(test::CountJournal(tool, "TerminateProcess " + std::to_string(trackwell) + " 0"), 1u);
    EXPECT_EQ(tool.OpenHandleCount(), 0u);
}

TEST(ProcessControl, FreeupPrerequisitesLogsTheSearchAndTheMatch) {
    sim::SimMachine sim;
    Machine& machine = sim.machine();
    const auto target = sim.AddProcess(u"Norvel\u00c4B12.srv");
    sim.SetThreadCodePage(65001);  // UTF-8: the log follows the thread's locale, not the system's
    CommandLog log(machine.files, machine.system);
    FreeupPrerequisites(machine.processes, machine.system, log, u"Norvel\u00c4B12");
    FreeupPrerequisites(machine.processes, machine.system, log, u"Missing");
    EXPECT_FALSE(IsRunning(sim, target));

    // Nothing is logged for "Missing" but the search.
    EXPECT_EQ(test::LogMessages(sim), (std::vector<std::string>{"FreeupPrerequisites",
                                                                "PC File Name Norvel\xc3\x84"
                                                                "B12 SRV Process Found.",
                                                                "Norvel\xc3\x84"
                                                                "B12SRV Process is being Terminated.",
                                                                "FreeupPrerequisites"}));
}

ServiceState StateOf(const sim::SimMachine& sim, std::u16string_view name) {
    return sim.Service(name).value().state;
}

void Restart(sim::SimMachine& sim) {
    RestartSpooler(sim.machine().services, sim.machine().system);
}

struct RestartCase {
    const char* what;
    ServiceState state;
    bool refusesControl, staysStopPending;
    const char* failingCall;  // fails once after the first call, or nullptr
    std::uint64_t stops, starts;
    ServiceState after;
};

TEST(ServiceControl, RestartStopsWhatRunsAndStartsWhatStopped) {
    using enum ServiceState;
    const std::vector<RestartCase> cases = {
        {"running", Running, false, false, nullptr, 1, 1, Running},
        {"already stopped", Stopped, false, false, nullptr, 0, 1, Running},
        {"stop pending forever", Running, false, true, nullptr, 1, 0, StopPending},
        {"refused stop: the start step finds it running", Running, true, false, nullptr, 1, 0, Running},
        {"refused start", Stopped, true, false, nullptr, 0, 1, Stopped},
        {"failed status query: the start step finds it running", Running, false, false,
         "QueryServiceStatusEx", 0, 0, Running},
    };
    for (const RestartCase& c : cases) {
        SCOPED_TRACE(c.what);
        sim::SimMachine sim;
        sim.AddService({.name = u"Spooler",
                        .state = c.state,
                        .dependents = {},
                        .staysStopPending = c.staysStopPending,
                        .refusesControl = c.refusesControl});
        if (c.failingCall != nullptr) {
            sim.faults().Fail(c.failingCall, 6, 1);
        }
        const std::uint32_t start = sim.Now();
        Restart(sim);
        EXPECT_EQ(sim.calls().Count("ControlService"), c.stops);
        EXPECT_EQ(sim.calls().Count("StartServiceW"), c.starts);
        EXPECT_EQ(StateOf(sim, u"Spooler"), c.after);
        if (c.stops == 1 && c.starts == 1) {
            EXPECT_EQ(sim.journal(),
                      (std::vector<std::string>{"ControlService Spooler STOP", "StartServiceW Spooler"}));
        }
        if (c.staysStopPending) {
            // Polled until more than the budget has passed: the poll at exactly 10,000 ms still waits.
            EXPECT_EQ(sim.Now() - start, kServiceWaitBudgetMs + 2 * kServicePollMs);
        }
    }
}

TEST(ServiceControl, DependentsOfDependentsStopFirstInactiveOnesAreLeftAndStopsThatChangeNothingEnd) {
    sim::SimMachine sim;
    sim.AddService({.name = u"Spooler", .dependents = {u"Fax", u"Stopped1"}});
    sim.AddService({.name = u"Fax", .dependents = {u"FaxHelper"}});
    sim.AddService({.name = u"FaxHelper", .dependents = {}});
    sim.AddService({.name = u"Stopped1", .state = ServiceState::Stopped, .dependents = {}});
    Restart(sim);
    EXPECT_EQ(sim.journal(),
              (std::vector<std::string>{"ControlService FaxHelper STOP", "ControlService Fax STOP",
                                        "ControlService Spooler STOP", "StartServiceW Spooler"}));
    EXPECT_EQ(StateOf(sim, u"Fax"), ServiceState::Stopped);  // only the spooler is started again
    EXPECT_EQ(StateOf(sim, u"Stopped1"), ServiceState::Stopped);
    EXPECT_EQ(StateOf(sim, u"Spooler"), ServiceState::Running);

    sim::SimMachine looping;
    // Whatever a stop did, each status query finds the spooler running again.
    for (int i = 0; i < 2 * kMaxServiceRequests; ++i) {
        looping.faults().OnCall("QueryServiceStatusEx",
                                [&looping] { looping.AddService({.name = u"Spooler", .dependents = {}}); });
    }
    Restart(looping);
    EXPECT_EQ(looping.calls().Count("ControlService"), static_cast<std::uint64_t>(kMaxServiceRequests));
    EXPECT_EQ(StateOf(looping, u"Spooler"), ServiceState::Running);
    EXPECT_EQ(looping.OpenHandleCount(), 1u);  // the shared manager
}

// The shared manager is opened once, and a manager that cannot be opened is not tried again and touches
// nothing.
TEST(ServiceControl, SharedManagerIsOpenedOnceClosedOnceAndNotRetriedAfterARefusal) {
    sim::SimMachine refused;
    refused.faults().Fail("OpenSCManagerW", 5);
    Restart(refused);
    Restart(refused);
    EXPECT_EQ(refused.calls().Count("OpenSCManagerW"), 1u);
    EXPECT_EQ(refused.calls().Count("OpenServiceW"), 0u);
    EXPECT_EQ(StateOf(refused, u"Spooler"), ServiceState::Running);

    sim::SimMachine sim;
    Services& services = sim.machine().services;
    Restart(sim);
    Restart(sim);
    EXPECT_EQ(sim.calls().Count("OpenSCManagerW"), 1u);
    EXPECT_EQ(sim.OpenHandleCount(), 1u);  // every service handle closed, the manager kept
    const auto closes = sim.calls().Count("CloseServiceHandle");
    services.CloseSharedManager();
    services.CloseSharedManager();
    EXPECT_EQ(sim.calls().Count("CloseServiceHandle"), closes + 1);
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
    EXPECT_EQ(sim.BadHandleCloses(), 0u);
}

}  // namespace
}  // namespace spoolsweep
