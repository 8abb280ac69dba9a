#include "cleanup/file_residue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cleanup/safe_paths.h"
#include "platform/sim/sim_machine.h"
#include "tests/unit/run_helpers.h"

namespace spoolsweep {
namespace {

using test::kPresets;
using test::kSpool;
using test::kUserTemp;
using test::kWinTemp;
const std::u16string kExe = u"\\Tamber Driver Updater.exe";

TEST(FileResidue, BuildPathInFolderKeepsNamesInsideTheirFolder) {
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
}

TEST(FileResidue, LocalPrinterDeletesNoTempFiles) {
    sim::SimMachine sim;
    sim.WriteFile(kUserTemp + u"\\P1.tmp", "x");
    sim.WriteFile(kWinTemp + u"\\P1.tmp", "x");
    DeletePrinterTempFiles(sim.machine().files, sim.machine().registry, u"P1", u"");
    EXPECT_TRUE(sim.FileExists(kUserTemp + u"\\P1.tmp"));
    EXPECT_TRUE(sim.FileExists(kWinTemp + u"\\P1.tmp"));
}

TEST(FileResidue, ConnectionFilesGoFromBothTempFoldersUserFirstReadOnlyIncluded) {
    sim::SimMachine sim;
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

TEST(FileResidue, AFolderTreeGoesWithoutQuestionsErrorsOrUndo) {
    sim::SimMachine sim;
    sim.WriteFile(kPresets + u"\\DMT_abc12.PPD\\EssentialPresets\\preferences", "p", kFileAttributeReadOnly);
    (void)DeleteFolderTree(sim.machine().files, kPresets + u"\\DMT_abc12.PPD");
    EXPECT_EQ(sim.journal(), std::vector<std::string>{
                                 "SHFileOperationW FO_DELETE "
                                 "C:\\Users\\admin\\AppData\\Roaming\\Norvel\\JPData\\DMT_abc12.PPD 0x414"});
}

TEST(FileResidue, AMatchingFolderHasItsAttributesResetAndStays) {
    sim::SimMachine sim;
    sim.WriteFile(kWinTemp + u"\\,,Drv.tmp\\inside.tmp", "x");
    sim.SetPathAttributes(kWinTemp + u"\\,,Drv.tmp", kFileAttributeDirectory | kFileAttributeHidden);
    DeleteMatchingFiles(sim.machine().files, kWinTemp + u"\\*Drv.tmp");
    EXPECT_EQ(sim.journal(), std::vector<std::string>{"SetFileAttributesW C:\\Windows\\Temp\\,,Drv.tmp 0x0"});
    EXPECT_TRUE(sim.FileExists(kWinTemp + u"\\,,Drv.tmp\\inside.tmp"));
}

TEST(FileResidue, HardwareIdFolderIsEmptiedAndRemovedOnlyWhenEmpty) {
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
}

TEST(FileResidue, PresetsPreferDmtOverDrvJp) {
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
}

TEST(FileResidue, EmptyBaseStillReachesItsPresetButNotWithoutAppData) {
    sim::SimMachine sim;
    const std::u16string preferences = kPresets + u"\\DMT_.PPD\\EssentialPresets\\preferences";
    sim.WriteFile(preferences, "p");
    sim.SetSpecialFolder(kCsidlAppData, std::nullopt);
    DeleteDriverFiles(sim.machine().files, sim.machine().registry, u"", u"", u"");
    EXPECT_TRUE(sim.FileExists(preferences));
    sim.SetSpecialFolder(kCsidlAppData, u"C:\\Users\\admin\\AppData\\Roaming");
    DeleteDriverFiles(sim.machine().files, sim.machine().registry, u"", u"", u"");
    EXPECT_FALSE(sim.FileExists(preferences));
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

TEST(FileResidue, FolderTreeGoesWholeButNeverThroughAWildcard) {
    sim::SimMachine sim;
    sim.WriteFile(u"C:\\Data\\A\\deep\\x.txt", "x", kFileAttributeReadOnly);
    sim.WriteFile(u"C:\\Data\\B\\y.txt", "y");
    EXPECT_NE(DeleteFolderTree(sim.machine().files, u"C:\\Data\\*"), 0);
    EXPECT_NE(DeleteFolderTree(sim.machine().files, u""), 0);
    EXPECT_EQ(sim.calls().Count("SHFileOperationW"), 0u);
    EXPECT_EQ(DeleteFolderTree(sim.machine().files, u"C:\\Data\\A"), 0);
    EXPECT_FALSE(sim.FolderExists(u"C:\\Data\\A"));
    EXPECT_TRUE(sim.FileExists(u"C:\\Data\\B\\y.txt"));
}

TEST(FileResidue, UpdaterFoldersFollowTheNativeArchitecture) {
    sim::SimMachine sim;
    EXPECT_EQ(SelectUpdaterFolders(sim.machine().system).install, u"C:\\Program Files (x86)\\Vantle");
    EXPECT_EQ(SelectUpdaterFolders(sim.machine().system).backup, u"C:\\Program Files (x86)\\Vantle_temp");
    for (std::uint16_t architecture : {kProcessorArchitectureIntel, std::uint16_t{12}}) {
        sim.SetNativeArchitecture(architecture);
        const UpdaterFolders folders = SelectUpdaterFolders(sim.machine().system);
        EXPECT_EQ(folders.install, u"C:\\Program Files\\Vantle");
        EXPECT_EQ(folders.backup, u"C:\\Program Files\\Vantle_temp");
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

// A preset path past 260 units is skipped, not cut short onto another file.
TEST(FileResidue, AnOverlongPresetPathDeletesNothing) {
    sim::SimMachine sim;
    const std::u16string longBase(240, u'x');
    const std::u16string cutShort = (kPresets + u"\\DMT_" + longBase).substr(0, kMaxPath - 1);
    sim.WriteFile(cutShort, "keep");
    DeleteDriverFiles(sim.machine().files, sim.machine().registry, longBase, u"", u"");
    EXPECT_TRUE(sim.FileExists(cutShort));
}

}  // namespace
}  // namespace spoolsweep
