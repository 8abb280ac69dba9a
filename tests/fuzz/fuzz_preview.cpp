// The preview on a machine the input shapes: a snapshot read through the seams, written as a machine file and
// loaded into a fresh machine must run the program exactly as the machine itself does, and the report must
// list exactly what the run's journal deleted.
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

// A report line in the journal's spelling: a value `key "name"` as `key name`, a note in parentheses dropped.
std::string JournalForm(std::string line, const std::string& group) {
    if (group == "registry values deleted") {
        line.replace(line.rfind(" \""), 2, " ");
        line.pop_back();
    } else if (group == "printers pending deletion") {
        line.resize(line.rfind(" ("));
    }
    return line;
}

// Names compare without case, as the registry and the file system compare them.
bool IsSameOrUnder(std::string line, std::string tree) {
    for (std::string* text : {&line, &tree}) {
        std::transform(text->begin(), text->end(), text->begin(),
                       [](unsigned char c) { return std::tolower(c); });
    }
    return line == tree || line.starts_with(tree + "\\") || line.starts_with(tree + " ");
}

// Each listed deletion was made by a journal line, directly or inside a deleted tree; each journal deletion
// whose object is gone after the run is listed, itself or as part of a listed tree.
void CheckReportAgainstJournal(const preview::PreviewReport& report, sim::SimMachine& sim) {
    std::vector<std::string> deleted;  // the journal's objects: names, keys, "key value", paths
    for (const std::string& line : sim.journal()) {
        for (std::string_view call : {"DeletePrinter ", "DeletePrinterConnectionW ", "DeleteFormW ",
                                      "DeletePrinterDriverExW ", "SHDeleteKeyW ", "RegDeleteValueW ",
                                      "DeleteFileW ", "RemoveDirectoryW ", "SHFileOperationW FO_DELETE "}) {
            if (line.starts_with(call)) {
                std::string object = line.substr(call.size());
                if (call.starts_with("SHFileOperationW") || object.ends_with(" pending")) {
                    object.resize(object.rfind(' '));
                }
                // The spooler removes its own key of a printer or driver it deletes.
                if (call == "DeletePrinter ") {
                    deleted.push_back(std::string(kPrintKey) + "Printers\\" + object);
                } else if (call == "DeletePrinterDriverExW ") {
                    const std::size_t comma = object.find(", ");
                    deleted.push_back(std::string(kPrintKey) + "Environments\\" + object.substr(0, comma) +
                                      "\\Drivers\\Version-3\\" + object.substr(comma + 2));
                }
                deleted.push_back(object);
            }
        }
    }
    std::vector<std::string> listed;
    for (const preview::ChangeGroup& group : report.changes) {
        if (group.title.find("deleted") != std::string::npos && group.title != "driver packages deleted") {
            for (const std::string& line : group.lines) {
                listed.push_back(JournalForm(line, group.title));
            }
        }
    }
    for (const std::string& line : listed) {
        fuzz::Require(std::any_of(deleted.begin(), deleted.end(),
                                  [&](const std::string& object) { return IsSameOrUnder(line, object); }),
                      "listed without a deletion: " + line);
    }
    const preview::MachineState after = preview::CaptureState(sim);
    std::set<std::string> remaining;
    for (const auto* names :
         {&after.printers, &after.forms, &after.drivers, &after.keys, &after.files, &after.folders}) {
        remaining.insert(names->begin(), names->end());
    }
    for (const std::string& value : after.values) {
        remaining.insert(JournalForm(value, "registry values deleted"));
    }
    for (const std::string& object : deleted) {
        fuzz::Require(remaining.contains(object) ||
                          std::any_of(listed.begin(), listed.end(),
                                      [&](const std::string& line) { return IsSameOrUnder(object, line); }),
                      "deleted but not listed: " + object);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    sim::SimMachine machine;
    fuzz::NameSource names(data);
    fuzz::ShapeMachine(data, names, machine);
    ClearWhatNoSnapshotKnows(machine);
    // Windows has no printer or driver without a name, and a machine file refuses one.
    const auto printers = machine.Printers();
    const auto drivers = machine.Drivers();
    if (std::any_of(printers.begin(), printers.end(),
                    [](const auto& p) { return p.name.empty() || p.driver.empty(); }) ||
        std::any_of(drivers.begin(), drivers.end(), [](const auto& d) { return d.name.empty(); })) {
        return 0;
    }
    const preview::PreviewOptions options = ChooseRun(data, machine);

    sim::SimMachine snapshot;
    std::vector<std::string> notes =
        preview::TakeSnapshot(machine.machine(), {machine.CurrentDirectory(), {}, 0}, snapshot);
    sim::SimMachine loaded;
    sim::LoadMachine(sim::DumpMachine(snapshot), loaded);
    loaded.QueueMessageBoxAnswers(machine.QueuedMessageBoxAnswers());

    const preview::PreviewReport real = preview::RunPreview(machine, options, {});
    const preview::PreviewReport previewed = preview::RunPreview(loaded, options, std::move(notes));
    const auto& expected = machine.journal();
    const auto& actual = loaded.journal();
    const auto [left, right] = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
    fuzz::Require(left == expected.end() && right == actual.end(),
                  "the snapshot ran differently: [" + (left == expected.end() ? "" : *left) +
                      "] on the machine, [" + (right == actual.end() ? "" : *right) + "] on the snapshot");
    fuzz::Require(previewed.console == real.console, "the snapshot's console differs");
    fuzz::Require(previewed.commandLog.size() == real.commandLog.size(),
                  "the snapshot's command log differs");
    CheckReportAgainstJournal(previewed, loaded);
    return 0;
}
