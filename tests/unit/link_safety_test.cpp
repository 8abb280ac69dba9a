// Links planted where the cleaners delete: under a matched name, in place of a folder on the way, and inside
// a tree the shell deletes. Whatever a run deletes, it never reaches through a link: every file of the
// folder a link points at keeps its data and attributes, and the link goes exactly where a plain file or
// folder of its name would go.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/sim/sim_machine.h"
#include "preview/dialog_run.h"
#include "tests/unit/run_helpers.h"

namespace spoolsweep {
namespace {

const std::u16string kPresetsOfA = test::kPresets + u"\\DMT_NorvelA.PPD";
const std::u16string kUpdater = u"C:\\Program Files (x86)\\Vantle";
const std::u16string kPrecious = u"C:\\Precious";
// Precious files are hidden, so that a reset through a link shows, and deletable, so that a deletion through
// one succeeds and shows; a read-only one beside them shows a reset that comes before a deletion.
constexpr std::uint32_t kPreciousAttributes = kFileAttributeHidden;
constexpr std::uint32_t kLockedAttributes = kFileAttributeReadOnly | kFileAttributeHidden;

// A Tamber connection and a Tamber local printer on one plug-and-play driver, with the updater installed.
void AddTamberPrinters(sim::SimMachine& sim) {
    sim.SetNativeArchitecture(kProcessorArchitectureAmd64);
    sim.AddDriver({u"Windows x64", u"Tamber PS", u"NorvelA.PPD", u"C:\\Windows\\INF\\oem1.inf"});
    sim.AddPrinter(test::MakePrinter(u"\\\\srv\\Lobby", u"Tamber PS"));
    sim.AddPrinter(test::MakePrinter(u"Desk", u"Tamber PS"));
    const std::u16string printers = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
    sim.SetString(kHkeyLocalMachine, printers + u"Desk\\PnPData", u"HardwareID", u"HWID1");
    sim.SetString(kHkeyLocalMachine, printers + u"Tamber PS\\DsSpooler", u"driverName", u"DsTamber");
    sim.WriteFile(kUpdater + u"\\Tamber Driver Updater.exe", "MZ");
}

// Where a link is planted, and the files (relative to it) that a deletion following it would find.
struct Placement {
    const char* label;
    std::u16string path;
    std::vector<std::u16string> inside;  // empty: a link to a file
};

const std::vector<Placement>& Placements() {
    static const std::vector<Placement> placements = {
        {"connection temp file", test::kUserTemp + u"\\,,srv,Lobby.tmp", {}},
        {"connection temp file, Windows Temp", test::kWinTemp + u"\\,,srv,Lobby.tmp", {}},
        {"watermark", test::kUserTemp + u"\\NorvelA.wmk", {}},
        {"driver temp file", test::kWinTemp + u"\\,,DsTamber.tmp", {}},
        {"user authentication file", test::kUserTemp + u"\\NorvelUserAuth", {}},
        {"preferences", kPresetsOfA + u"\\EssentialPresets\\preferences", {}},
        {"loose spool file", test::kSpool + u"\\x64\\loose.dll", {}},
        {"matched folder name", test::kUserTemp + u"\\,,srv,Lobby.tmp", {u"keep.dll"}},
        {"tracking folder", test::kUserTemp + u"\\Trackwell", {u"trace.log"}},
        {"hardware-ID folder", test::kSpool + u"\\x64\\HWID1", {u"unidrv.dll"}},
        {"preset folder", kPresetsOfA, {u"EssentialPresets\\preferences"}},
        {"updater folder", kUpdater, {u"Tamber Driver Updater.exe"}},
        {"folder on the way to the presets",
         u"C:\\Users\\admin\\AppData\\Roaming\\Norvel",
         {u"JPData\\DMT_NorvelA.PPD\\EssentialPresets\\preferences"}},
        {"folder on the way to preferences", kPresetsOfA + u"\\EssentialPresets", {u"preferences"}},
        {"spool environment folder", test::kSpool + u"\\x64", {u"loose.dll", u"HWID1\\unidrv.dll"}},
        {"folder inside the preset tree", kPresetsOfA + u"\\Deep", {u"inner.dat"}},
    };
    return placements;
}

struct Removal {
    const char* label;
    std::u16string commandLine;  // empty: the dialog's Delete All
};

const std::vector<Removal> kRemovals = {
    {"-p", u"Spoolsweep.exe -p \"\\\\srv\\Lobby,Desk\""},
    {"-rmNorvelPrints", u"Spoolsweep.exe -rmNorvelPrints"},
    {"-rmPrints", u"Spoolsweep.exe -rmPrints"},
    {"Delete All", u""},
};

void RunRemoval(sim::SimMachine& sim, const Removal& removal) {
    if (!removal.commandLine.empty()) {
        test::RunProgram(sim, removal.commandLine);
        return;
    }
    std::ostringstream out;
    std::ostringstream err;
    sim::DialogRun run;
    run.deleteAll = true;
    run.answers = {1, 1, 1, 1, 1, 1};
    static_cast<void>(sim::RunDialogRemoval(sim, run, out, err));
}

// The machine with a plain file or folder where the link would be: what a run deletes there.
bool PlainTwinIsDeleted(const Placement& placement, const Removal& removal) {
    sim::SimMachine sim;
    AddTamberPrinters(sim);
    if (placement.inside.empty()) {
        sim.WriteFile(placement.path, "plain");
    } else {
        for (const std::u16string& file : placement.inside) {
            sim.WriteFile(placement.path + u"\\" + file, "plain");
        }
    }
    RunRemoval(sim, removal);
    return !sim.FileExists(placement.path) && !sim.FolderExists(placement.path);
}

// A kind of link, as Windows treats it or, for a symbolic link to a file, as Wine does (hidden, and deleted
// through): the cleaners must see it anyway.
struct LinkCase {
    sim::LinkKind kind;
    bool wine = false;
};
const std::vector<LinkCase> kFileLinks = {
    {sim::LinkKind::SymbolicLink}, {sim::LinkKind::HardLink}, {sim::LinkKind::SymbolicLink, true}};
const std::vector<LinkCase> kFolderLinks = {{sim::LinkKind::Junction}, {sim::LinkKind::SymbolicLink}};

TEST(LinkSafety, NoRemovalReachesThroughALinkAndALinkGoesWhereItsNameWould) {
    for (const Removal& removal : kRemovals) {
        for (const Placement& placement : Placements()) {
            const bool toFile = placement.inside.empty();
            for (const LinkCase& link : toFile ? kFileLinks : kFolderLinks) {
                SCOPED_TRACE(std::string(removal.label) + ", " + placement.label + ", link kind " +
                             std::to_string(static_cast<int>(link.kind)) + (link.wine ? ", as Wine" : ""));
                sim::SimMachine sim;
                sim.SetWineFileLinks(link.wine);
                AddTamberPrinters(sim);
                std::map<std::u16string, std::uint32_t> precious{
                    {kPrecious + u"\\locked.sys", kLockedAttributes}};
                for (const std::u16string& file :
                     toFile ? std::vector<std::u16string>{u"system.ini"} : placement.inside) {
                    precious[kPrecious + u"\\" + file] = kPreciousAttributes;
                }
                for (const auto& [path, attributes] : precious) {
                    sim.WriteFile(path, "precious", attributes);
                }
                // A link among the target's files: a deletion that entered a folder link would take it.
                const std::u16string shortcut = kPrecious + u"\\shortcut";
                sim.AddLink(shortcut, kPrecious + u"\\locked.sys", sim::LinkKind::SymbolicLink);
                sim.AddLink(placement.path, toFile ? kPrecious + u"\\system.ini" : kPrecious, link.kind);

                RunRemoval(sim, removal);

                for (const auto& [path, attributes] : precious) {
                    EXPECT_EQ(sim.ReadFile(path), "precious") << "a deletion reached through the link";
                    EXPECT_EQ(sim.Attributes(path), attributes) << "attributes were reset through it";
                }
                EXPECT_TRUE(sim.LinkAt(shortcut)) << "a deletion entered the folder link";
                if (link.wine) {
                    continue;  // a link Wine hides is left where it is: only its target's safety counts
                }
                const bool gone = !sim.LinkAt(placement.path).has_value();
                EXPECT_EQ(gone, PlainTwinIsDeleted(placement, removal))
                    << "the link did not go (or went) where a plain one of its name would";
                // A link that goes is removed by a call on itself, never inside a tree handed to the shell (a
                // hard link is a plain name of its file there: the shell's deletion of it leaves the file).
                const std::string name(placement.path.begin(), placement.path.end());
                EXPECT_TRUE(!gone || link.kind == sim::LinkKind::HardLink ||
                            test::JournalIndex(sim, "DeleteFileW " + name) ||
                            test::JournalIndex(sim, "RemoveDirectoryW " + name))
                    << "the link went inside a tree handed to the shell";
            }
        }
    }
}

}  // namespace
}  // namespace spoolsweep
