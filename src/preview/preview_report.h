#pragma once
// What a run changed on a simulated machine, one line per change, grouped and sorted: the preview's report,
// and the measure a test takes of a real machine between two snapshots.
#include <nlohmann/json.hpp>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace spoolsweep::preview {

// The parts of a machine a removal may change, as text.
struct MachineState {
    std::set<std::string> printers, drivers, forms, keys, files, folders;
    std::set<std::pair<std::string, std::string>> values;   // key, value name
    std::map<std::string, std::uint32_t> attributes;        // file or folder: its attributes
    std::map<std::uint32_t, std::string> runningProcesses;  // process id: executable
};

[[nodiscard]] MachineState CaptureState(const sim::SimMachine& machine);

// A value as the report names it: `<key> "<value name>"`.
[[nodiscard]] std::string ValueLine(const std::pair<std::string, std::string>& value);

// One group of changes: its title ("printers deleted", ...) and its lines, sorted.
struct ChangeGroup {
    std::string title;
    std::vector<std::string> lines;
};

// The changes from one state to the other, every group in report order, empty ones included. Registry
// values are named `<key> "<value name>"`; a deleted key's values are not listed apart from it.
[[nodiscard]] std::vector<ChangeGroup> DiffStates(const MachineState& before, const MachineState& after);

struct PreviewReport {
    std::vector<std::string> arguments;  // what was previewed
    std::vector<ChangeGroup> changes;    // DiffStates, then the journal's groups (pending printers, packages,
                                         // services)
    std::string updaterFolder;           // "kept", "restored", "deleted" or "not present", with its path
    std::string console;                 // the program's console text (dialog mode: its boxes and list)
    std::vector<std::string> commandLog;  // the lines the run added to the command log
    std::vector<std::string> cannotKnow;
};

// The report of a run on `after`, which was `before` until the run.
[[nodiscard]] PreviewReport BuildReport(const MachineState& before, sim::SimMachine& after,
                                        const std::string& logBefore);

[[nodiscard]] std::string FormatReport(const PreviewReport& report);
// The groups as the report prints them: a title line, then the lines indented.
[[nodiscard]] std::string FormatChanges(const std::vector<ChangeGroup>& changes);
[[nodiscard]] nlohmann::ordered_json ChangesJson(const std::vector<ChangeGroup>& changes);
[[nodiscard]] nlohmann::ordered_json ReportJson(const PreviewReport& report);

}  // namespace spoolsweep::preview
