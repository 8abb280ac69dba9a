// The preview on a machine the input shapes: a snapshot read through the seams into a fresh machine must run
// the program exactly as the machine itself does and save as a machine file that loads as the same machine,
// and the report must list exactly what the run's journal deleted.
#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "fuzz_machine.h"
#include "platform/sim/sim_world.h"
#include "preview/machine_json.h"
#include "preview/preview.h"
#include "preview/snapshot.h"

namespace {

using namespace spoolsweep;

constexpr std::string_view kPrintKey = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\";

// What a snapshot cannot read (a service that hangs, a lock held elsewhere) is the machine's default here.
void ClearWhatNoSnapshotKnows(sim::SimMachine& sim) {
    for (sim::SimService service : sim.AllServices()) {
        service.staysStopPending = false;
        service.refusesControl = false;
        sim.AddService(service);
    }
    sim.SetDatabaseLockHeldElsewhere(false);
}

preview::PreviewOptions ChooseRun(FuzzedDataProvider& data, const sim::SimMachine& sim) {
    preview::PreviewOptions options;
    std::vector<std::string> names;
    for (const sim::SimPrinter& printer : sim.Printers()) {
        if (data.ConsumeBool()) {
            names.push_back(sim::ToUtf8(printer.name));
        }
    }
    switch (data.ConsumeIntegralInRange(0, 4)) {
        case 0:
            options.dialog = true;
            options.dialogRun.checks = names;
            options.dialogRun.deleteAll = data.ConsumeBool();
            break;
        case 1: {
            std::string list;
            for (const std::string& name : names) {
                list += (list.empty() ? "" : ",") + name;
            }
            options.programArguments = {"-p", list};
            break;
        }
        default:
            options.programArguments = {
                data.PickValueInArray({"-rmNorvelPrints", "-rmPrints", "-getInstalledPrinters"})};
    }
    return options;
}

// Names compare without case, as the registry and the file system compare them.
bool IsSameOrUnder(std::string path, std::string tree) {
    for (std::string* text : {&path, &tree}) {
        std::transform(text->begin(), text->end(), text->begin(),
                       [](unsigned char c) { return std::tolower(c); });
    }
    return path == tree || path.starts_with(tree + "\\");
}

// The journal names a deleted value "<key> <name>", and either may hold blanks: every split is a candidate,
// as (key, report line).
std::vector<std::pair<std::string, std::string>> ValueCandidates(const std::string& object) {
    std::vector<std::pair<std::string, std::string>> candidates;
    for (std::size_t blank = object.find(' '); blank != std::string::npos;
         blank = object.find(' ', blank + 1)) {
        const std::string key = object.substr(0, blank);
        candidates.emplace_back(key, key + " \"" + object.substr(blank + 1) + "\"");
    }
    return candidates;
}

// Each listed deletion was made by a journal line, directly or inside a deleted tree; each journal deletion
// whose object is gone after the run is listed, itself or as part of a listed tree.
void CheckReportAgainstJournal(const preview::PreviewReport& report, sim::SimMachine& sim) {
    std::vector<std::string> trees;                                        // deleted names, keys and paths
    std::vector<std::vector<std::pair<std::string, std::string>>> values;  // each deletion's candidates
    for (const std::string& line : sim.journal()) {
        for (std::string_view call : {"DeletePrinter ", "DeletePrinterConnectionW ", "DeleteFormW ",
                                      "DeletePrinterDriverExW ", "SHDeleteKeyW ", "RegDeleteValueW ",
                                      "DeleteFileW ", "RemoveDirectoryW ", "SHFileOperationW FO_DELETE "}) {
            if (!line.starts_with(call)) {
                continue;
            }
            std::string object = line.substr(call.size());
            if (call.starts_with("SHFileOperationW") || object.ends_with(" pending")) {
                object.resize(object.rfind(' '));
            }
            if (call == "RegDeleteValueW ") {
                values.push_back(ValueCandidates(object));
                continue;
            }
            // The spooler removes its own key of a printer or driver it deletes.
            if (call == "DeletePrinter ") {
                trees.push_back(std::string(kPrintKey) + "Printers\\" + object);
            } else if (call == "DeletePrinterDriverExW ") {
                const std::size_t comma = object.find(", ");
                trees.push_back(std::string(kPrintKey) + "Environments\\" + object.substr(0, comma) +
                                "\\Drivers\\Version-3\\" + object.substr(comma + 2));
            }
            trees.push_back(object);
        }
    }
    std::vector<std::string> listed;
    for (const preview::ChangeGroup& group : report.changes) {
        if (group.title.find("deleted") == std::string::npos || group.title == "driver packages deleted") {
            continue;
        }
        for (std::string line : group.lines) {
            if (group.title == "printers pending deletion") {
                line.resize(line.rfind(" ("));
            }
            const bool made =
                group.title == "registry values deleted"
                    ? std::any_of(values.begin(), values.end(),
                                  [&](const auto& candidates) {
                                      return std::any_of(
                                          candidates.begin(), candidates.end(),
                                          [&](const auto& value) { return value.second == line; });
                                  })
                    : std::any_of(trees.begin(), trees.end(),
                                  [&](const std::string& tree) { return IsSameOrUnder(line, tree); });
            fuzz::Require(made, "listed without a deletion: " + line);
            listed.push_back(line);
        }
    }
    const preview::MachineState after = preview::CaptureState(sim);
    std::set<std::string> remaining;
    for (const auto& value : after.values) {
        remaining.insert(preview::ValueLine(value));
    }
    for (const auto* names :
         {&after.printers, &after.forms, &after.drivers, &after.keys, &after.files, &after.folders}) {
        remaining.insert(names->begin(), names->end());
    }
    const auto underListed = [&](const std::string& path) {
        return std::any_of(listed.begin(), listed.end(),
                           [&](const std::string& line) { return IsSameOrUnder(path, line); });
    };
    for (const std::string& tree : trees) {
        fuzz::Require(remaining.contains(tree) || underListed(tree), "deleted but not listed: " + tree);
    }
    // A value is listed, or still there, or went with a listed key.
    for (const auto& candidates : values) {
        fuzz::Require(std::any_of(candidates.begin(), candidates.end(),
                                  [&](const auto& value) {
                                      return remaining.contains(value.second) || underListed(value.second) ||
                                             underListed(value.first);
                                  }),
                      "deleted but not listed: a value of " + candidates.front().first);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    fuzz::ShapedMachine shaped(bytes, size);
    sim::SimMachine& machine = shaped.sim;
    ClearWhatNoSnapshotKnows(machine);
    // Windows has no printer or driver without a name (a machine file refuses one), and no backslash in the
    // name of a local printer or a driver: each is a registry key of that name.
    const auto printers = machine.Printers();
    const auto drivers = machine.Drivers();
    if (std::any_of(printers.begin(), printers.end(),
                    [](const auto& p) {
                        return p.name.empty() || p.driver.empty() ||
                               (p.serverName.empty() && p.name.find(u'\\') != std::u16string::npos);
                    }) ||
        std::any_of(drivers.begin(), drivers.end(), [](const auto& d) {
            return d.name.empty() || d.name.find(u'\\') != std::u16string::npos;
        })) {
        return 0;
    }
    const preview::PreviewOptions options = ChooseRun(shaped.data, machine);

    sim::SimMachine snapshot;
    std::vector<std::string> notes =
        preview::TakeSnapshot(machine.machine(), {machine.CurrentDirectory(), {}, 0}, snapshot);
    // Saved, it loads as the same machine, as far as a machine file (UTF-8 text) holds one: a lone surrogate
    // in a name is written as U+FFFD.
    const sim::MachineJson saved = sim::DumpMachine(snapshot);
    sim::SimMachine loaded;
    sim::LoadMachine(saved, loaded);
    fuzz::Require(sim::DumpMachine(loaded) == saved, "the saved snapshot loads as another machine");
    snapshot.QueueMessageBoxAnswers(machine.QueuedMessageBoxAnswers());

    const preview::PreviewReport real = preview::RunPreview(machine, options, {});
    const preview::PreviewReport previewed = preview::RunPreview(snapshot, options, std::move(notes));
    const auto& expected = machine.journal();
    const auto& actual = snapshot.journal();
    const auto [left, right] = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
    fuzz::Require(left == expected.end() && right == actual.end(),
                  "the snapshot ran differently: [" + (left == expected.end() ? "" : *left) +
                      "] on the machine, [" + (right == actual.end() ? "" : *right) + "] on the snapshot");
    fuzz::Require(previewed.console == real.console, "the snapshot's console differs");
    fuzz::Require(previewed.commandLog.size() == real.commandLog.size(),
                  "the snapshot's command log differs");
    CheckReportAgainstJournal(previewed, snapshot);
    return 0;
}
