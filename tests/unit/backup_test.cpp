// Backup and restore of the residue: SHA-256 against published vectors, a removal undone exactly, and
// backups that were cut short, edited or planted refused before anything is written.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <functional>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_world.h"
#include "platform/text.h"
#include "preview/backup.h"
#include "preview/dialog_run.h"
#include "preview/machine_json.h"
#include "preview/sha256.h"
#include "preview/snapshot.h"
#include "tests/unit/run_helpers.h"

namespace spoolsweep::preview {
namespace {

using test::kPresets;
using test::kUserTemp;

constexpr char16_t kBackupFolder[] = u"C:\\Backups\\printers";
constexpr char16_t kTamberDriver[] = u"Tamber Print Controller PCL";
constexpr char16_t kLabelDriver[] = u"Vantle Label";
// The dialog's "Delete All Printer Drivers", every question answered OK: all the residue there is goes.
const sim::DialogRun kDeleteAll{{}, true, {}};

constexpr char16_t kDriverFolder[] = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3";
// The Tamber driver's package in the driver store, which the removal deletes with the driver.
constexpr char16_t kPackageFolder[] =
    u"C:\\Windows\\System32\\DriverStore\\FileRepository\\tamber.inf_amd64_5a1c";

// The removal, and the drivers' files gone with them as Windows deletes them (the simulated spooler keeps
// them).
void RemoveEverything(sim::SimMachine& sim) {
    std::ostringstream out;
    ASSERT_EQ(sim::RunDialogRemoval(sim, kDeleteAll, out, out), 0) << out.str();
    ASSERT_EQ(sim.machine().files.ShellDeleteTree(kDriverFolder, kFofSilentNoConfirmationNoErrorUi), 0);
}

TEST(Sha256, MatchesThePublishedVectors) {
    const struct {
        std::string input, digest;
    } kVectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 56 bytes: the length no longer fits in the first block.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmno"
         "pqrstnopq"
         "rstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& vector : kVectors) {
        EXPECT_EQ(Sha256Hex(vector.input), vector.digest)
            << "wrong digest of " << vector.input.size() << " bytes";
    }
}

TEST(BackupRestore, TheArgumentsAskForABackupWithARunAndARestoreAlone) {
    const struct {
        std::vector<std::string> arguments;
        std::string error;  // empty: accepted
        std::string backup, restore;
        bool preview, run;
    } kCases[] = {
        {{"--backup", "C:\\b", "-rmPrints"}, "", "C:\\b", "", false, false},
        {{"--backup", "C:\\b", "--delete-all"}, "", "C:\\b", "", false, false},
        {{"--backup", "C:\\b", "--run", "-p", "A,B"}, "", "C:\\b", "", false, true},
        {{"--restore", "C:\\b", "--preview", "--json"}, "", "", "C:\\b", true, false},
        {{"--backup", "C:\\b"}, "--backup needs Spoolsweep.exe's options", "", "", false, false},
        {{"--restore", "C:\\b", "-rmPrints"}, "--restore takes no other option", "", "", false, false},
        {{"--restore", "C:\\b", "--backup", "C:\\c"},
         "--restore takes no other option",
         "",
         "",
         false,
         false},
        {{"--preview", "-rmPrints"}, "--preview goes with --restore", "", "", false, false},
        {{"--run", "-rmPrints"}, "--run goes with --backup", "", "", false, false},
        {{"--backup", "C:\\b", "--run", "--delete-all"}, "--run goes with --backup", "", "", false, false},
        {{"--backup", "C:\\b", "--run", "--json", "-rmPrints"},
         "--run goes with --backup",
         "",
         "",
         false,
         false},
        {{"--restore", "C:\\b", "--run"}, "--run goes with --backup", "", "", false, false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        PreviewOptions options;
        const std::string error = ParsePreviewArguments(c.arguments, options);
        EXPECT_EQ(error.substr(0, c.error.size()), c.error) << error;
        EXPECT_EQ(error.empty(), c.error.empty()) << error;
        if (c.error.empty()) {
            EXPECT_EQ(options.backupFolder, c.backup);
            EXPECT_EQ(options.restoreFolder, c.restore);
            EXPECT_EQ(options.restorePreview, c.preview);
            EXPECT_EQ(options.runAfterBackup, c.run);
        }
    }
}

// An office machine whose Tamber printer leaves registry and file residue of every kind the backup keeps.
// P1 has every level-2 setting a queue can hold, P2 a driver the restore will find missing.
void AddResidue(sim::SimMachine& sim) {
    // The Tamber driver's definition is whole and its files and package are there; the label driver's are
    // not.
    sim.AddDriver({u"Windows x64", kTamberDriver, u"NorvelAB12.PPD",
                   std::u16string(kPackageFolder) + u"\\tamber.inf",
                   DriverDetails{3,
                                 u"TMBDRV.DLL",
                                 u"TMBUI.DLL",
                                 u"TMB.HLP",
                                 {u"TMBRES.DLL", u"NorvelAB12.PPD"},
                                 u"Tamber Monitor",
                                 u"RAW",
                                 {u"Tamber PCL"},
                                 0x01D9000012345678ULL,
                                 0x0006000100020003ULL,
                                 u"Tamber",
                                 u"http://tamber.example",
                                 u"tmb_1234",
                                 u"Tamber Ltd"}});
    for (const char16_t* file : {u"TMBDRV.DLL", u"TMBUI.DLL", u"TMB.HLP", u"TMBRES.DLL", u"NorvelAB12.PPD"}) {
        sim.WriteFile(std::u16string(kDriverFolder) + u"\\" + file, "driver file " + NarrowLowBytes(file));
    }
    for (const char16_t* file : {u"tamber.inf", u"tamber.cat", u"amd64\\TMBDRV.DLL"}) {
        sim.WriteFile(std::u16string(kPackageFolder) + u"\\" + file, "package file " + NarrowLowBytes(file));
    }
    sim.AddDriver({u"Windows x64", kLabelDriver, u"VantleL.PPD", u"C:\\Windows\\INF\\oem8.inf",
                   DriverDetails{3, u"VNTDRV.DLL", u"VNTUI.DLL"}});
    sim::SimPrinter p1 = test::MakePrinter(u"P1", kTamberDriver, u"p1share");
    std::vector<std::uint8_t> devMode(76, 0x5A);
    devMode[68] = 72;
    devMode[69] = devMode[71] = 0;
    devMode[70] = 4;
    p1.settings = {u"IP_10.0.0.5",
                   u"Floor 2",
                   u"Room 201",
                   u"C:\\Windows\\System32\\pcl.sep",
                   u"winprint",
                   u"NT EMF 1.008",
                   u"-duplex",
                   0x241,
                   7,
                   3,
                   60,
                   1200,
                   devMode,
                   std::vector<std::uint8_t>{1, 0, 4, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}};
    sim.AddPrinter(p1);
    const std::u16string p1Key = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\P1\\";
    sim.SetValue(kHkeyLocalMachine, p1Key + u"PrinterDriverData", u"Duplex", 4, {2, 0, 0, 0});
    sim.SetValue(kHkeyLocalMachine, p1Key + u"DsSpooler\\Extra", u"Tray", 3, {0xFF, 0});
    sim.CreateKey(kHkeyLocalMachine, p1Key + u"PnPData");
    sim.AddPrinter(test::MakePrinter(u"P2", kLabelDriver));
    sim::SimPrinter hall = test::MakePrinter(u"\\\\srv\\Tamber Hall", kTamberDriver);
    hall.serverName = u"\\\\srv";
    sim.AddPrinter(hall);
    sim.SetValue(kHkeyCurrentUser, u"Printers\\Settings\\Printers\\P1", u"DevMode", 3, {0, 1, 0xFE, 0xFF});
    sim.SetValue(kHkeyCurrentUser, u"Printers\\Settings\\Printers\\P1\\Inner", u"Count", 4, {7, 0, 0, 0});
    sim.SetMultiString(kHkeyLocalMachine, u"SOFTWARE\\PPML\\PostScript", u"Fonts", {u"Courier", u"Symbol"});
    sim.SetString(kHkeyLocalMachine, u"SOFTWARE\\PPML\\PostScript", u"Path", u"%SystemRoot%\\ppml", 2);
    sim.SetValue(kHkeyLocalMachine, u"System\\CurrentControlSet\\Control\\Print\\Watermark\\Draft", u"Text",
                 1, StringBytes(u"DRAFT"));
    sim.WriteFile(kUserTemp + u"\\NorvelUserAuth", std::string("\0\x01\xff", 3), 0x22);
    sim.WriteFile(kUserTemp + u"\\Trackwell\\jobs.db", "jobs", 0x21);
    sim.WriteFile(kPresets + u"\\DMT_NorvelAB12.PPD\\EssentialPresets\\preferences", "<presets/>");
    sim.SetPathAttributes(kPresets + u"\\DMT_NorvelAB12.PPD", 0x12);
    sim.WriteFile(u"C:\\Program Files (x86)\\Vantle\\Tamber Driver Updater.exe", "MZ updater", 0x21);
    sim.AddForm({u"Tamber Label", kFormUser, 100000, 150000, 5000, 6000, 95000, 144000});
}

std::string Contents(const sim::SimMachine& sim, const std::u16string& path) {
    const std::optional<std::string> bytes = sim.ReadFile(path);
    if (!bytes.has_value()) {
        return "(folder)";
    }
    return bytes.value();
}

// Keys, values (type and bytes), files (bytes and attributes) and folders of a machine, as lines.
std::set<std::string> Describe(const sim::SimMachine& sim) {
    const ResidueState state = CaptureResidue(sim);
    std::set<std::string> lines;
    for (const auto& [key, present] : state.keys) {
        lines.insert("key " + KeyText(key.first, key.second));
    }
    for (const auto& [id, data] : state.values) {
        lines.insert("value " + KeyText(std::get<0>(id), std::get<1>(id)) + " " +
                     NarrowLowBytes(std::get<2>(id)) + " type " + std::to_string(data.first) + " " +
                     ::testing::PrintToString(data.second));
    }
    for (const auto& [path, entry] : state.paths) {
        lines.insert("path " + NarrowLowBytes(path) + " " + std::to_string(entry.attributes) + " " +
                     Contents(sim, path));
    }
    for (const sim::SimPrinter& printer : state.printers) {
        lines.insert("printer " +
                     NarrowLowBytes(printer.name + u" " + printer.driver + u" " + printer.share) +
                     sim::PrinterSettingsJson(printer.settings).dump());
    }
    for (const sim::SimForm& form : state.forms) {
        lines.insert("form " + NarrowLowBytes(form.name) +
                     ::testing::PrintToString(std::vector<std::int64_t>{
                         form.flags, form.width, form.height, form.left, form.top, form.right, form.bottom}));
    }
    return lines;
}

std::vector<std::string> Minus(const std::set<std::string>& from, const std::set<std::string>& without) {
    std::vector<std::string> lines;
    std::set_difference(from.begin(), from.end(), without.begin(), without.end(), std::back_inserter(lines));
    return lines;
}

BackupRun BackUp(sim::SimMachine& real, std::u16string_view folder = kBackupFolder) {
    sim::SimMachine snapshot;
    std::vector<std::string> notes = TakeSnapshot(real.machine(), {u"C:\\Users\\admin", {}, 0}, snapshot);
    PreviewOptions options;
    options.dialog = true;
    options.dialogRun = kDeleteAll;
    return RunBackup(real.machine(), snapshot, options, std::move(notes), folder);
}

std::size_t CountPutBack(const std::vector<RestoreLine>& lines) {
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(), [](const RestoreLine& line) { return line.putBack; }));
}

// A backup folder is private whatever the folder above lets users do; what the running account or SYSTEM
// owns in it, or what only CREATOR OWNER may change (a denied right aside), is read.
TEST(BackupRestore, ARemovalUndoneLeavesEveryBackedUpEntryAsItWas) {
    sim::SimMachine real;
    AddResidue(real);
    real.CreateFolder(u"C:\\Backups");
    const std::string system(kSidSystem);
    real.SetSecurity(u"C:\\Backups", {0, system, {}, true, {{std::string(kSidUsers), true, kFileAllAccess}}});
    const std::set<std::string> before = Describe(real);
    const sim::SimPrinter p1 = real.Printers().front();
    const sim::SimDriver tamber = real.Drivers().front();
    const BackupRun backup = BackUp(real);
    ASSERT_EQ(backup.error, "");
    EXPECT_EQ(backup.contents.keys.size(), 4U)
        << "not every key the cleaners deleted is kept, or a key the spooler took is";
    EXPECT_EQ(backup.contents.values.size(), 5U) << "the deleted values were not all kept";
    EXPECT_EQ(backup.contents.files.size(), 4U) << "the deleted files were not all kept";
    EXPECT_EQ(backup.contents.folders.size(), 4U) << "the deleted folders were not all kept";
    EXPECT_EQ(backup.contents.forms.size(), 1U) << "the deleted form was not kept";
    EXPECT_EQ(backup.contents.printers.size(), 2U) << "the deleted printers were not kept";
    EXPECT_EQ(backup.contents.printerData.size(), 2U) << "the printer's data was not kept";
    EXPECT_EQ(backup.contents.connections, std::vector<std::u16string>{u"\\\\srv\\Tamber Hall"});
    ASSERT_EQ(backup.contents.drivers.size(), 1U) << "the deleted driver was not kept";
    EXPECT_EQ(backup.contents.drivers[0].files.size(), 5U) << "a file of the driver was not kept, or twice";
    ASSERT_EQ(backup.contents.packages.size(), 1U) << "the Tamber driver's package was not kept";
    EXPECT_EQ(backup.contents.packages[0].files.size(), 3U) << "a file of the package was not kept";
    const std::string summary = FormatBackupSummary(kBackupFolder, backup.contents);
    for (const char* named :
         {"printer data key P1\\PnPData: a key without values",
          "driver Windows x64, Vantle Label: its file "
          "C:\\Windows\\System32\\spool\\drivers\\x64\\3\\VNTDRV.DLL: it could not be read"}) {
        EXPECT_NE(summary.find(named), std::string::npos) << "not named as not restorable: " << named;
    }
    EXPECT_EQ(summary.find("printer data key"), summary.rfind("printer data key"))
        << "a key with values named";
    RemoveEverything(real);
    const std::set<std::string> removed = Describe(real);

    const std::string caller(sim::kSimCallerSid);
    real.SetSecurity(std::u16string(kBackupFolder) + u"\\manifest.json",
                     {0,
                      caller,
                      {},
                      true,
                      {{std::string(kSidCreatorOwner), true, kFileAllAccess},
                       {std::string(kSidUsers), false, kFileAllAccess}}});
    real.SetSecurity(std::u16string(kBackupFolder) + u"\\files\\0", {0, system, {}, true, {}});
    const LoadedBackup loaded =
        LoadBackup(real.machine().files, kBackupFolder, ReadRestoreScope(real.machine()));
    ASSERT_EQ(loaded.error, "");
    const std::size_t journal = real.journal().size();
    const auto dryRun = Restore(real.machine(), loaded.contents, true);
    EXPECT_EQ(real.journal().size(), journal) << "the restore's preview changed the machine";
    EXPECT_EQ(Describe(real), removed) << "the restore's preview changed the machine";
    const auto lines = Restore(real.machine(), loaded.contents, false);
    const std::size_t kept = backup.contents.keys.size() + backup.contents.values.size() +
                             backup.contents.files.size() + backup.contents.folders.size() +
                             backup.contents.forms.size() + backup.contents.printers.size() - 1 +
                             backup.contents.printerData.size() + backup.contents.drivers.size() +
                             backup.contents.packages.size() + backup.contents.connections.size();
    EXPECT_EQ(CountPutBack(lines), kept) << FormatRestore(lines, false);
    EXPECT_EQ(CountPutBack(dryRun), kept) << "the preview does not say what the restore does";
    for (const auto* said : {&lines, &dryRun}) {
        EXPECT_NE(FormatRestore(*said, false)
                      .find("not put back: printer P2 (its driver Vantle Label is not "
                            "installed)"),
                  std::string::npos);
    }

    // All that the removal took is back, but the label printer and its driver with their spooler keys, and
    // the INF path of the Tamber driver, which its level-6 definition does not hold.
    const std::set<std::string> after = Describe(real);
    for (const std::string& missing : Minus(before, after)) {
        EXPECT_TRUE(
            missing.find("P2") != std::string::npos || missing.find("P1\\PnPData") != std::string::npos ||
            missing.find("Drivers\\Version-3\\" + NarrowLowBytes(kLabelDriver)) != std::string::npos ||
            missing.find(NarrowLowBytes(kTamberDriver) + " InfPath") != std::string::npos)
            << "not restored exactly: " << missing;
    }
    EXPECT_TRUE(real.Printers().front().settings == p1.settings) << "P1 not put back with all its settings";
    ASSERT_EQ(real.Drivers().size(), 1U) << "the Tamber driver was not put back alone";
    EXPECT_EQ(std::tie(real.Drivers()[0].name, real.Drivers()[0].dataFile),
              std::tie(tamber.name, tamber.dataFile));
    EXPECT_TRUE(real.Drivers()[0].details == tamber.details) << "the Tamber driver not put back whole";
    // A second restore finds everything there and writes nothing.
    const auto again = Restore(real.machine(), loaded.contents, false);
    EXPECT_EQ(CountPutBack(again), 0U) << "an entry that exists was written again";
    EXPECT_EQ(Describe(real), after);
}

// A 32-bit program on 64-bit Windows reads the drivers' files where the spooler keeps them: WoW64 shows it
// SysWOW64 for System32, but not for the spooler's folders below it. Only that redirection passes the walk.
TEST(BackupRestore, UnderWow64OnlyTheSystemFoldersOwnRedirectionIsNoLink) {
    const std::u16string system = u"C:\\Windows\\System32";
    const std::u16string driverFile = std::u16string(kDriverFolder) + u"\\TMBDRV.DLL";
    struct Case {
        const char* label;
        std::function<void(sim::SimMachine&)> plant;
        std::u16string path;
        std::optional<std::u16string> link;
    };
    const Case cases[] = {
        {"a driver's file in the spooler's folder", [](sim::SimMachine&) {}, driverFile, std::nullopt},
        {"a file the system folder shows from SysWOW64",
         [&](sim::SimMachine& sim) {
             sim.WriteFile(u"C:\\Windows\\SysWOW64\\TMBDRV.DLL", "32-bit");
             sim.WriteFile(system + u"\\TMBDRV.DLL", "64-bit");
         },
         system + u"\\TMBDRV.DLL", system + u"\\TMBDRV.DLL"},
        {"a junction below the spooler's folder",
         [&](sim::SimMachine& sim) {
             sim.AddLink(system + u"\\spool\\drivers\\W32X86", u"C:\\Elsewhere", sim::LinkKind::Junction,
                         true);
         },
         system + u"\\spool\\drivers\\W32X86\\3\\A.DLL", system + u"\\spool\\drivers\\W32X86"},
    };
    for (const Case& c : cases) {
        sim::SimMachine sim;
        AddResidue(sim);
        sim.SetWow64();
        c.plant(sim);
        EXPECT_EQ(FindLinkOnPath(sim.machine().files, c.path), c.link) << c.label;
    }
    sim::SimMachine wow64;
    AddResidue(wow64);
    wow64.SetWow64();
    const BackupRun backup = BackUp(wow64);
    ASSERT_EQ(backup.error, "");
    ASSERT_EQ(backup.contents.drivers.size(), 1U) << FormatBackupSummary(kBackupFolder, backup.contents);
    EXPECT_EQ(backup.contents.drivers[0].files.size(), 5U) << "a file of the driver was not kept";
}

// A printer's port that is gone by the restore: a local one is added back before the printer; another
// monitor's is named, and so is the printer it keeps out.
TEST(BackupRestore, AMissingLocalPortIsAddedBackBeforeItsPrinter) {
    const struct {
        std::u16string port;
        std::vector<std::string> lines;  // in this order among the restore's
    } kCases[] = {
        {u"C:\\Ports\\p1.prn", {"put back: port C:\\Ports\\p1.prn", "put back: printer P1"}},
        {u"IP_10.0.0.5",
         {"not put back: port IP_10.0.0.5 (only a port of the Local Port monitor is added back; its monitor "
          "is "
          "Standard TCP/IP Port)",
          "not put back: printer P1 (its port IP_10.0.0.5 does not exist on this machine (error 1796))"}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(NarrowLowBytes(c.port));
        sim::SimMachine real;
        AddResidue(real);
        sim::SimPrinter p1 = real.Printers().front();
        ASSERT_EQ(p1.name, u"P1");
        p1.settings.port = c.port;
        real.AddPrinter(p1);
        ASSERT_EQ(BackUp(real).error, "");
        RemoveEverything(real);
        real.RemovePort(c.port);
        const LoadedBackup loaded =
            LoadBackup(real.machine().files, kBackupFolder, ReadRestoreScope(real.machine()));
        ASSERT_EQ(loaded.error, "");
        const std::string said = FormatRestore(Restore(real.machine(), loaded.contents, false), false);
        std::size_t at = 0;
        for (const std::string& line : c.lines) {
            at = said.find(line + "\n", at);
            ASSERT_NE(at, std::string::npos) << line << "\n" << said;
        }
    }
}

// The office's residue backed up and removed; `change` alters the machine before the backup is restored.
std::vector<RestoreLine> RestoreAfterChange(sim::SimMachine& real, const std::function<void()>& change) {
    AddResidue(real);
    EXPECT_EQ(BackUp(real).error, "");
    RemoveEverything(real);
    change();
    const LoadedBackup loaded =
        LoadBackup(real.machine().files, kBackupFolder, ReadRestoreScope(real.machine()));
    EXPECT_EQ(loaded.error, "");
    return Restore(real.machine(), loaded.contents, false);
}

// Nor writes through a registry link a user planted above a residue tree that holds a key of the backup.
TEST(BackupRestore, NeverOverwritesWhatExistsNowNorWritesThroughARegistryLink) {
    sim::SimMachine real;
    const std::u16string token = kUserTemp + u"\\NorvelUserAuth";
    const std::u16string manifest = std::u16string(kBackupFolder) + u"\\manifest.json";
    const auto lines = RestoreAfterChange(real, [&] {
        real.AddDriver({u"Windows x64", kTamberDriver, u"NorvelAB12.PPD", {}});
        real.AddPrinter(test::MakePrinter(u"p2", kTamberDriver));
        ASSERT_EQ(real.machine().spooler.AddPrinterConnection(u"\\\\SRV\\Tamber Hall").error, 0U);
        sim::MachineJson edited = sim::ParseJson(*real.ReadFile(manifest));
        edited["printers"][0]["port"] = "IP_10.9.9.9";
        real.WriteFile(manifest, edited.dump());
        real.WriteFile(token, "new");
        real.SetValue(kHkeyLocalMachine, u"SOFTWARE\\PPML\\PostScript", u"Fonts", 1, StringBytes(u"new"));
        real.AddForm({u"TAMBER LABEL", kFormUser, 1000, 1000, 0, 0, 1000, 1000});
        real.CreateKey(kHkeyCurrentUser, u"Software\\Victim");
        EXPECT_EQ(real.machine().registry.DeleteTree(kHkeyCurrentUser, u"Printers").error, 0U);
        real.AddKeyLink(kHkeyCurrentUser, u"Printers", kHkeyCurrentUser, u"Software\\Victim");
    });
    EXPECT_EQ(real.ReadFile(token), "new") << "a file that exists now was overwritten";
    EXPECT_EQ(real.GetValue(kHkeyLocalMachine, u"SOFTWARE\\PPML\\PostScript", u"Fonts"), StringBytes(u"new"))
        << "a value that exists now was overwritten";
    const auto printers = real.Printers();
    EXPECT_TRUE(std::any_of(printers.begin(), printers.end(), [](const auto& p) { return p.name == u"p2"; }))
        << "a printer that exists now was replaced";
    EXPECT_EQ(real.SubkeyNames(kHkeyCurrentUser, u"Software\\Victim").size() +
                  real.ValueNames(kHkeyCurrentUser, u"Software\\Victim").size(),
              0U)
        << "written through a registry link";
    const std::pair<std::string, std::string> kExpected[] = {
        {"file " + NarrowLowBytes(token), "it exists now"},
        {"registry value HKLM\\SOFTWARE\\PPML\\PostScript \"Fonts\"", "it exists now"},
        {"form Tamber Label", "it exists now"},
        {"printer P2", "it exists now"},
        {"driver Windows x64, Tamber Print Controller PCL", "it exists now"},
        {"printer connection \\\\srv\\Tamber Hall", "it exists now"},
        {"printer P1", "its port IP_10.9.9.9 does not exist on this machine (error 1796)"},
        {"printer data P1\\PrinterDriverData \"Duplex\"", "its printer was not put back"},
        {"registry value HKCU\\Printers\\Settings\\Printers\\P1\\Inner \"Count\"",
         "a key on its path is a registry link: nothing is written through one"},
    };
    for (const auto& [entry, reason] : kExpected) {
        // An init-capture: clang 14, which builds the host tests, captures no structured binding.
        const auto line = std::find_if(lines.begin(), lines.end(),
                                       [&wanted = entry](const RestoreLine& l) { return l.entry == wanted; });
        ASSERT_NE(line, lines.end()) << "no line for " << entry;
        EXPECT_FALSE(line->putBack);
        EXPECT_EQ(line->reason, reason) << entry;
    }
}

// Just before the attributes of the first file put back are set, a user swaps its folder for a junction to
// a folder holding a file of that name: nothing is set, and nothing written, where the junction leads.
TEST(BackupRestore, ALinkPlantedDuringTheRestoreLeadsNothingElsewhere) {
    sim::SimMachine real;
    const std::u16string victim = u"C:\\Windows\\System32\\config";
    std::u16string first;
    std::u16string twin;
    const auto lines = RestoreAfterChange(real, [&] {
        const std::string manifest = *real.ReadFile(std::u16string(kBackupFolder) + u"\\manifest.json");
        first = sim::FromUtf8(sim::ParseJson(manifest)["files"][0]["path"].get<std::string>());
        const std::u16string folder = first.substr(0, first.rfind(u'\\'));
        twin = victim + first.substr(folder.size());
        real.WriteFile(twin, "hive", 0x20);
        real.SetPathAttributes(victim, 0x16);
        real.faults().OnCall("SetFileInformationByHandle", [&real, folder, victim] {
            ASSERT_EQ(real.machine().files.ShellDeleteTree(folder, kFofSilentNoConfirmationNoErrorUi), 0);
            real.AddLink(folder, victim, sim::LinkKind::Junction, true);
        });
    });
    EXPECT_EQ(real.Attributes(twin), 0x20U) << "attributes set through a link planted during the restore";
    EXPECT_EQ(real.Attributes(victim), 0x16U) << "attributes set through a link planted during the restore";
    const std::vector<std::u16string> paths = real.AllPaths();
    EXPECT_EQ(std::count_if(paths.begin(), paths.end(),
                            [&](const std::u16string& path) { return path.starts_with(victim + u"\\"); }),
              1)
        << "written through a link planted during the restore";
    const auto line = std::find_if(lines.begin(), lines.end(), [&](const RestoreLine& l) {
        return l.entry == "file " + NarrowLowBytes(first);
    });
    ASSERT_NE(line, lines.end());
    EXPECT_EQ(line->reason, "put back, but setting its attributes failed with error 5");
}

// `size` bytes whose dmSize and dmDriverExtra say `fixed` and `extra`.
std::vector<std::uint8_t> DevMode(std::size_t size, std::uint8_t fixed, std::uint8_t extra) {
    std::vector<std::uint8_t> bytes(size, 0);
    if (size >= 72) {
        bytes[68] = fixed;
        bytes[70] = extra;
    }
    return bytes;
}

// `size` bytes of a security descriptor of that revision whose control's high byte is `control`.
std::vector<std::uint8_t> Security(std::size_t size, std::uint8_t revision, std::uint8_t control) {
    std::vector<std::uint8_t> bytes(size, 0);
    bytes[0] = revision;
    bytes[3] = control;
    return bytes;
}

// A change to an entry that leaves a restorable one, and whether the restore still takes it.
template <class Entry>
struct RestorableCase {
    const char* label;
    std::function<void(Entry&)> change;
    bool restorable;
};

template <class Entry, std::size_t N>
void ExpectRestorable(const RestorableCase<Entry> (&cases)[N], const Entry& whole,
                      bool (*restorable)(const Entry&)) {
    for (const auto& c : cases) {
        Entry entry = whole;
        c.change(entry);
        EXPECT_EQ(restorable(entry), c.restorable) << c.label;
    }
}

TEST(BackupRestore, AFormPrinterOrDriverIsRestorableOnlyWhenPlainAndWhole) {
    const RestorableCase<BackupForm> kCases[] = {
        {"whole paper", [](BackupForm&) {}, true},
        {"printer form", [](BackupForm& f) { f.flags = kFormPrinter; }, true},
        {"built-in", [](BackupForm& f) { f.flags = kFormBuiltin; }, false},
        {"255 units", [](BackupForm& f) { f.name.assign(255, u'x'); }, true},
        {"256 units", [](BackupForm& f) { f.name.assign(256, u'x'); }, false},
        {"no name", [](BackupForm& f) { f.name.clear(); }, false},
        {"backslash", [](BackupForm& f) { f.name = u"Forms\\A4"; }, false},
        {"control character", [](BackupForm& f) { f.name = u"A\x1f"; }, false},
        {"inner area", [](BackupForm& f) { f = {0, u"L", 1000, 2000, 1, 1, 999, 1999}; }, true},
        {"left of the paper", [](BackupForm& f) { f.left = -1; }, false},
        {"no width", [](BackupForm& f) { f.left = 1000; }, false},
        {"right of the paper", [](BackupForm& f) { f.right = 1001; }, false},
        {"above the paper", [](BackupForm& f) { f.top = -1; }, false},
        {"no height", [](BackupForm& f) { f.top = 2000; }, false},
        {"below the paper", [](BackupForm& f) { f.bottom = 2001; }, false},
    };
    ExpectRestorable(kCases, BackupForm{kFormUser, u"Label", 1000, 2000, 0, 0, 1000, 2000}, IsRestorableForm);
    const RestorableCase<PrinterDefinition> kPrinters[] = {
        {"new queue", [](PrinterDefinition&) {}, true},
        {"connection", [](PrinterDefinition& p) { p.name = u"\\\\server\\P"; }, false},
        {"comma", [](PrinterDefinition& p) { p.name = u"P,1"; }, false},
        {"control character", [](PrinterDefinition& p) { p.name = u"P\x7"; }, false},
        {"no name", [](PrinterDefinition& p) { p.name.clear(); }, false},
        {"share with a backslash", [](PrinterDefinition& p) { p.share = u"a\\b"; }, false},
        {"no driver", [](PrinterDefinition& p) { p.driver.reset(); }, false},
        {"no port", [](PrinterDefinition& p) { p.settings.port = u""; }, false},
        {"print processor path", [](PrinterDefinition& p) { p.settings.printProcessor = u"..\\x"; }, false},
        {"local separator page", [](PrinterDefinition& p) { p.settings.sepFile = u"C:\\S\\a.sep"; }, true},
        {"shared separator page", [](PrinterDefinition& p) { p.settings.sepFile = u"\\\\h\\s\\a.sep"; },
         false},
        {"whole DEVMODE", [](PrinterDefinition& p) { p.settings.devMode = DevMode(72, 72, 0); }, true},
        {"DEVMODE with extra", [](PrinterDefinition& p) { p.settings.devMode = DevMode(75, 72, 3); }, true},
        {"DEVMODE cut short", [](PrinterDefinition& p) { p.settings.devMode = DevMode(74, 72, 3); }, false},
        {"DEVMODE too long", [](PrinterDefinition& p) { p.settings.devMode = DevMode(76, 72, 3); }, false},
        {"no DEVMODE size", [](PrinterDefinition& p) { p.settings.devMode = DevMode(71, 0, 0); }, false},
        {"self-relative", [](PrinterDefinition& p) { p.settings.securityDescriptor = Security(20, 1, 0x80); },
         true},
        {"short", [](PrinterDefinition& p) { p.settings.securityDescriptor = Security(19, 1, 0x80); }, false},
        {"revision 2", [](PrinterDefinition& p) { p.settings.securityDescriptor = Security(20, 2, 0x80); },
         false},
        {"absolute", [](PrinterDefinition& p) { p.settings.securityDescriptor = Security(20, 1, 0x7F); },
         false},
    };
    ExpectRestorable(kPrinters, PrinterDefinition{u"P", std::nullopt, u"D", {}}, IsRestorablePrinter);
    const RestorableCase<DriverDefinition> kDrivers[] = {
        {"whole", [](DriverDefinition&) {}, true},
        {"32-bit", [](DriverDefinition& d) { d.environment = u"Windows NT x86"; }, true},
        {"ARM64", [](DriverDefinition& d) { d.environment = u"Windows ARM64"; }, false},
        {"no name", [](DriverDefinition& d) { d.name.clear(); }, false},
        {"control character", [](DriverDefinition& d) { d.name = u"D\n"; }, false},
        {"no data file", [](DriverDefinition& d) { d.dataFile.clear(); }, false},
        {"no driver file", [](DriverDefinition& d) { d.details.driverPath.clear(); }, false},
        {"no configuration file", [](DriverDefinition& d) { d.details.configFile.clear(); }, false},
        {"dependent file up a folder", [](DriverDefinition& d) { d.details.dependentFiles = {u".."}; },
         false},
        {"help file by slash", [](DriverDefinition& d) { d.details.helpFile = u"a/b.hlp"; }, false},
        {"help file on a drive", [](DriverDefinition& d) { d.details.helpFile = u"C:b.hlp"; }, false},
        {"help file by backslash", [](DriverDefinition& d) { d.details.helpFile = u"a\\b.hlp"; }, false},
        {"help file with a wildcard", [](DriverDefinition& d) { d.details.helpFile = u"*.hlp"; }, false},
    };
    ExpectRestorable(kDrivers, DriverDefinition{u"D", u"Windows x64", u"d.ppd", {3, u"d.dll", u"dui.dll"}},
                     IsRestorableDriver);
    // A manifest written before forms and printers were kept has no list of them, and loads.
    const LoadedBackup old =
        ParseManifest(R"({"format": "Spoolsweep backup", "version": 1, "registryKeys": [],
        "registryValues": [], "folders": [], "files": [], "notRestorable": []})",
                      {});
    EXPECT_EQ(old.error, "");
}

TEST(BackupRestore, ABackupGoesOnlyIntoANewPlainFolder) {
    const struct {
        const char* label;
        std::function<void(sim::SimMachine&)> arrange;
        std::string error;
    } kCases[] = {
        {"folder exists", [](sim::SimMachine& sim) { sim.CreateFolder(kBackupFolder); }, "exists"},
        {"folder on the path is a link",
         [](sim::SimMachine& sim) {
             sim.CreateFolder(u"C:\\Windows\\System32\\config");
             sim.AddLink(u"C:\\Backups", u"C:\\Windows\\System32\\config", sim::LinkKind::Junction, true);
         },
         "C:\\Backups is a link"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.label);
        sim::SimMachine real;
        AddResidue(real);
        c.arrange(real);
        const std::size_t journal = real.journal().size();
        const BackupRun run = BackUp(real);
        EXPECT_NE(run.error.find(c.error), std::string::npos) << run.error;
        EXPECT_EQ(real.journal().size(), journal) << "written despite the refusal";
    }
}

// A backup made and then changed by hand: each change is refused naming the entry, and nothing is written.
TEST(BackupRestore, ABackupEditedOrPlantedIsRefusedWholeNamingTheEntry) {
    using Manifest = nlohmann::ordered_json;
    const std::u16string manifestPath = std::u16string(kBackupFolder) + u"\\manifest.json";
    const std::u16string firstData = std::u16string(kBackupFolder) + u"\\files\\0";
    const auto editManifest = [&](const std::function<void(Manifest&)>& edit) {
        return [=](sim::SimMachine& sim) {
            Manifest manifest = sim::ParseJson(*sim.ReadFile(manifestPath));
            edit(manifest);
            sim.WriteFile(manifestPath, manifest.dump());
        };
    };
    const struct {
        const char* label;
        std::function<void(sim::SimMachine&)> tamper;
        std::string error;
    } kCases[] = {
        {"truncated manifest",
         [&](sim::SimMachine& sim) {
             sim.WriteFile(manifestPath, sim.ReadFile(manifestPath)->substr(0, 200));
         },
         "manifest.json is not whole JSON"},
        {"unknown version", editManifest([](Manifest& m) { m["version"] = 2; }),
         "manifest.json has version 2"},
        {"data that does not match its hash",
         [&](sim::SimMachine& sim) {
             std::string data = *sim.ReadFile(firstData);
             data[0] ^= 1;
             sim.WriteFile(firstData, data);
         },
         "does not match its SHA-256"},
        {"file outside the folders", editManifest([](Manifest& m) {
             m["files"][0]["path"] = "C:\\Windows\\System32\\drivers\\evil.sys";
         }),
         "files entry 1: file C:\\Windows\\System32\\drivers\\evil.sys is outside the folders"},
        {"folder climbing out of Temp", editManifest([](Manifest& m) {
             m["folders"][0]["path"] =
                 "C:\\Users\\admin\\AppData\\Local\\Temp\\..\\..\\..\\..\\..\\Windows\\Tasks";
         }),
         "folders entry 1: folder C:\\Users\\admin\\AppData\\Local\\Temp\\..\\"},
        {"key outside the residue keys", editManifest([](Manifest& m) {
             m["registryKeys"][0]["path"] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
             m["registryKeys"][0]["root"] = "HKLM";
         }),
         "registryKeys entry 1: registry key HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run is "
         "outside"},
        {"size beyond what a backup keeps",
         editManifest([](Manifest& m) { m["files"][0]["size"] = 1ULL << 40; }),
         "has no valid size and SHA-256"},
        {"package outside the driver store",
         editManifest([](Manifest& m) { m["driverPackages"][0]["inf"] = "C:\\Windows\\INF\\evil.inf"; }),
         "driverPackages entry 1: driver package C:\\Windows\\INF\\evil.inf, Windows x64 is not one a "
         "restore "
         "uploads"},
        {"package file climbing out of its folder", editManifest([](Manifest& m) {
             for (auto& file : m["driverPackages"][0]["files"]) {
                 if (file["path"] == "tamber.cat") {
                     file["path"] = "..\\..\\evil.dll";
                 }
             }
         }),
         "driverPackages entry 1: driver package C:\\Windows\\System32\\DriverStore\\FileRepository\\"
         "tamber.inf_amd64_5a1c\\tamber.inf, Windows x64 is not one a restore uploads"},
        {"package file that does not match its hash",
         [&](sim::SimMachine& sim) {
             const std::u16string cat =
                 std::u16string(kBackupFolder) + u"\\packages\\0\\tamber.inf_amd64_5a1c\\tamber.cat";
             std::string data = *sim.ReadFile(cat);
             data[0] ^= 1;
             sim.WriteFile(cat, data);
         },
         "C:\\Backups\\printers\\packages\\0\\tamber.inf_amd64_5a1c\\tamber.cat does not match its SHA-256"},
        {"package subfolder users may change",
         [&](sim::SimMachine& sim) {
             sim.SetSecurity(
                 std::u16string(kBackupFolder) + u"\\packages\\0\\tamber.inf_amd64_5a1c\\amd64",
                 {0, std::string(kSidAdministrators), {}, true, {{std::string(kSidUsers), true, 2}}});
         },
         "tamber.inf_amd64_5a1c\\amd64 lets S-1-5-32-545 change it"},
        {"package file not in the manifest",
         [&](sim::SimMachine& sim) {
             sim.WriteFile(
                 std::u16string(kBackupFolder) + u"\\packages\\0\\tamber.inf_amd64_5a1c\\amd64\\run.dll",
                 "x");
         },
         "C:\\Backups\\printers\\packages\\0\\tamber.inf_amd64_5a1c\\amd64\\run.dll is not in the manifest"},
        {"driver file that does not match its hash",
         [&](sim::SimMachine& sim) {
             sim.WriteFile(std::u16string(kBackupFolder) + u"\\drivers\\0\\TMB.HLP", "x");
         },
         "driver Windows x64, Tamber Print Controller PCL: its file "
         "C:\\Backups\\printers\\drivers\\0\\TMB.HLP"},
        {"driver file named with a path",
         editManifest([](Manifest& m) { m["drivers"][0]["configFile"] = "..\\..\\TMBUI.DLL"; }),
         "drivers entry 1: driver Windows x64, Tamber Print Controller PCL is not one a restore adds"},
        {"driver of an unknown environment",
         editManifest([](Manifest& m) { m["drivers"][0]["environment"] = "Windows IA64"; }),
         "drivers entry 1: driver Windows IA64, Tamber Print Controller PCL is not one a restore adds"},
        {"driver file the definition does not name",
         editManifest([](Manifest& m) { m["drivers"][0]["files"][4]["name"] = "EXTRA.DLL"; }),
         "its file EXTRA.DLL is not one it names once"},
        {"driver file left out of the manifest",
         editManifest([](Manifest& m) { m["drivers"][0]["files"].erase(4); }),
         "drivers entry 1: driver Windows x64, Tamber Print Controller PCL: its file TMBRES.DLL is not in "
         "the backup"},
        {"connection to no printer of a server",
         editManifest([](Manifest& m) { m["connections"][0]["server"] = "C:"; }),
         "connections entry 1: printer connection C:\\Tamber Hall is not one a restore adds"},
        {"built-in form", editManifest([](Manifest& m) { m["forms"][0]["flags"] = kFormBuiltin; }),
         "forms entry 1: form Tamber Label is not one a restore adds"},
        {"printer named as a connection",
         editManifest([](Manifest& m) { m["printers"][0]["name"] = "\\\\srv\\P1"; }),
         "printers entry 1: printer \\\\srv\\P1 is not one a restore adds"},
        {"data of a printer not in the backup",
         editManifest([](Manifest& m) { m["printerData"][0]["printer"] = "Elsewhere"; }),
         "printerData entry 1: printer data Elsewhere\\"},
        {"printer priority below zero", editManifest([](Manifest& m) { m["printers"][0]["priority"] = -1; }),
         "printers entry 1: a field is missing or of the wrong kind"},
        {"value data not bytes", editManifest([](Manifest& m) { m["registryValues"][0]["data"] = "0g"; }),
         "registryValues entry 1: registry value"},
        {"link among the data",
         [&](sim::SimMachine& sim) {
             sim.WriteFile(u"C:\\Windows\\win.ini", "[boot]");
             sim.AddLink(std::u16string(kBackupFolder) + u"\\files\\9", u"C:\\Windows\\win.ini",
                         sim::LinkKind::SymbolicLink);
         },
         "C:\\Backups\\printers\\files\\9 is a link"},
        {"data folder that is a junction",
         [&](sim::SimMachine& sim) {
             const std::u16string data = std::u16string(kBackupFolder) + u"\\files";
             ASSERT_EQ(sim.machine().files.ShellDeleteTree(data, kFofSilentNoConfirmationNoErrorUi), 0);
             sim.WriteFile(u"C:\\Elsewhere\\0", "x");
             sim.AddLink(data, u"C:\\Elsewhere", sim::LinkKind::Junction, true);
         },
         "C:\\Backups\\printers\\files is a link"},
        {"second name of a data file",
         [&](sim::SimMachine& sim) {
             sim.AddLink(u"C:\\Backups\\other", firstData, sim::LinkKind::HardLink);
         },
         "files\\0) is a link, a file with more than one name"},
        {"folder a user owns",
         [&](sim::SimMachine& sim) {
             sim.SetSecurity(kBackupFolder, {0, "S-1-5-21-1-2-3-1001", {}, true, {}});
         },
         "C:\\Backups\\printers is owned by S-1-5-21-1-2-3-1001, not by Administrators"},
        {"data that users may change",
         [&](sim::SimMachine& sim) {
             sim.SetSecurity(
                 firstData,
                 {0, std::string(kSidAdministrators), {}, true, {{std::string(kSidUsers), true, 2}}});
         },
         "files\\0 lets S-1-5-32-545 change it"},
        {"manifest without an access list",
         [&](sim::SimMachine& sim) {
             sim.SetSecurity(manifestPath, {0, std::string(kSidAdministrators), {}, false, {}});
         },
         "manifest.json has no access list"},
        {"file not in the manifest",
         [&](sim::SimMachine& sim) { sim.WriteFile(std::u16string(kBackupFolder) + u"\\run.cmd", "x"); },
         "C:\\Backups\\printers\\run.cmd is not in the manifest"},
        {"driver's file not in the manifest",
         [&](sim::SimMachine& sim) {
             sim.WriteFile(std::u16string(kBackupFolder) + u"\\drivers\\0\\run.dll", "x");
         },
         "C:\\Backups\\printers\\drivers\\0\\run.dll is not in the manifest"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.label);
        sim::SimMachine real;
        AddResidue(real);
        ASSERT_EQ(BackUp(real).error, "");
        RemoveEverything(real);
        c.tamper(real);

        const LoadedBackup loaded =
            LoadBackup(real.machine().files, kBackupFolder, ReadRestoreScope(real.machine()));
        EXPECT_NE(loaded.error.find(c.error), std::string::npos)
            << "refused for another reason: " << loaded.error;
        const std::size_t journal = real.journal().size();
        EXPECT_TRUE(Restore(real.machine(), loaded.contents, false).empty())
            << "a refused backup was restored";
        EXPECT_EQ(real.journal().size(), journal);
    }
}

// --run starts the real program only once the backup reads back whole, and only a program that no one but
// administrators could have changed, reached through no link: it runs elevated.
TEST(BackupRestore, ARunStartsOnlyAnAdministratorsProgramAfterTheBackupReadsBack) {
    const std::u16string folder = u"C:\\Program Files\\Spoolsweep";
    const std::u16string program = folder + u"\\Spoolsweep.exe";
    const std::string user = "S-1-5-21-1-2-3-1001";
    const struct {
        const char* label;
        std::function<void(sim::SimMachine&)> tamper;
        std::u16string program;
        std::string error;  // the start of the reason; empty: it runs
    } kCases[] = {
        {"backup and program as written", [](sim::SimMachine&) {}, program, ""},
        {"backup data changed after writing",
         [](sim::SimMachine& sim) { sim.WriteFile(std::u16string(kBackupFolder) + u"\\files\\0", "x"); },
         program, "the backup does not read back whole: "},
        {"program folder users may change",
         [&](sim::SimMachine& sim) {
             sim.SetSecurity(
                 folder, {0, std::string(kSidAdministrators), {}, true, {{std::string(kSidUsers), true, 2}}});
         },
         program, "C:\\Program Files\\Spoolsweep lets S-1-5-32-545 change it: Spoolsweep.exe is run only"},
        {"program a user owns",
         [&](sim::SimMachine& sim) {
             sim.SetSecurity(program, {0, user, {}, true, {}});
         },
         program, "C:\\Program Files\\Spoolsweep\\Spoolsweep.exe is owned by " + user},
        {"program reached through a junction",
         [&](sim::SimMachine& sim) { sim.AddLink(u"C:\\Tools", folder, sim::LinkKind::Junction, true); },
         u"C:\\Tools\\Spoolsweep.exe", "C:\\Tools is a link: Spoolsweep.exe is run only"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.label);
        sim::SimMachine real;
        AddResidue(real);
        real.WriteFile(program, "MZ");
        ASSERT_EQ(BackUp(real).error, "");
        c.tamper(real);
        const std::string reason = CheckRunAfterBackup(real.machine(), kBackupFolder, c.program);
        EXPECT_EQ(reason.substr(0, c.error.size()), c.error);
        EXPECT_EQ(reason.empty(), c.error.empty()) << reason;
    }
}

}  // namespace
}  // namespace spoolsweep::preview
