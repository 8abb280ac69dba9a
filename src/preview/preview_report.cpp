#include "preview/preview_report.h"

#include <algorithm>
#include <iterator>

#include "cleanup/file_residue.h"
#include "cli/command_log.h"
#include "platform/sim/sim_world.h"

namespace spoolsweep::preview {
namespace {

using sim::ToUtf8;

void CaptureKeys(const sim::SimMachine& machine, Handle root, const std::u16string& path,
                 MachineState& state) {
    const std::string key =
        std::string(sim::World::RootName(root)) + (path.empty() ? "" : "\\" + ToUtf8(path));
    if (!path.empty()) {
        state.keys.insert(key);
    }
    for (const std::u16string& value : machine.ValueNames(root, path)) {
        state.values.emplace(key, ToUtf8(value));
    }
    for (const std::u16string& subkey : machine.SubkeyNames(root, path)) {
        std::u16string child = path;
        child.append(path.empty() ? u"" : u"\\").append(subkey);
        CaptureKeys(machine, root, child, state);
    }
}

std::vector<std::string> Minus(const std::set<std::string>& from, const std::set<std::string>& without) {
    std::vector<std::string> lines;
    std::set_difference(from.begin(), from.end(), without.begin(), without.end(), std::back_inserter(lines));
    return lines;
}

// A value of a key that went with it is part of that key's line.
std::vector<std::string> DeletedValues(const MachineState& before, const MachineState& after) {
    std::vector<std::string> lines;
    for (const auto& value : before.values) {
        if (!after.values.contains(value) && after.keys.contains(value.first)) {
            lines.push_back(ValueLine(value));
        }
    }
    return lines;
}

std::string Hex(std::uint32_t value) {
    constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[value % 16]);
        value /= 16;
    } while (value != 0);
    return "0x" + text;
}

std::vector<std::string> ChangedAttributes(const MachineState& before, const MachineState& after) {
    std::vector<std::string> lines;
    for (const auto& [path, attributes] : after.attributes) {
        const auto was = before.attributes.find(path);
        if (was != before.attributes.end() && was->second != attributes) {
            lines.push_back(path + " (" + Hex(was->second) + " to " + Hex(attributes) + ")");
        }
    }
    return lines;
}

std::vector<std::string> EndedProcesses(const MachineState& before, const MachineState& after) {
    std::vector<std::string> lines;
    for (const auto& [pid, exe] : before.runningProcesses) {
        if (!after.runningProcesses.contains(pid)) {
            lines.push_back(exe + " (process " + std::to_string(pid) + ")");
        }
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The object of each journal line that starts with `call` and a space.
std::vector<std::string> JournalObjects(const sim::SimMachine& machine, std::string_view call) {
    std::vector<std::string> objects;
    for (const std::string& line : machine.journal()) {
        if (line.size() > call.size() && line.starts_with(call) && line[call.size()] == ' ') {
            objects.push_back(line.substr(call.size() + 1));
        }
    }
    return objects;
}

std::vector<std::string> PendingPrinters(const sim::SimMachine& machine) {
    std::vector<std::string> lines;
    for (const std::string& object : JournalObjects(machine, "DeletePrinter")) {
        if (object.ends_with(" pending")) {
            lines.push_back(object.substr(0, object.size() - 8) +
                            " (goes once its queued jobs have printed)");
        }
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::vector<std::string> ServiceLines(const sim::SimMachine& machine) {
    std::vector<std::string> lines;
    for (const std::string& object : JournalObjects(machine, "ControlService")) {
        lines.push_back(object.substr(0, object.rfind(' ')) + " stopped");
    }
    for (const std::string& object : JournalObjects(machine, "StartServiceW")) {
        lines.push_back(object + " started");
    }
    return lines;
}

std::string DescribeUpdaterFolder(const MachineState& before, sim::SimMachine& after) {
    const std::u16string install = SelectUpdaterFolders(after.machine().system).install;
    const std::string folder = ToUtf8(install);
    std::string state = "not present";
    if (before.folders.contains(folder)) {
        const auto deletions = JournalObjects(after, "SHFileOperationW");
        const bool deleted = std::any_of(deletions.begin(), deletions.end(), [&](const std::string& object) {
            return object.starts_with("FO_DELETE " + folder + " ");
        });
        state = !deleted ? "kept" : after.FolderExists(install) ? "restored" : "deleted";
    }
    return state + " (" + folder + ")";
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string line(text.substr(0, end));
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(std::move(line));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    return lines;
}

void AppendIndented(std::string& out, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        out += "  " + line + "\n";
    }
}

}  // namespace

std::string ValueLine(const std::pair<std::string, std::string>& value) {
    return value.first + " \"" + value.second + "\"";
}

MachineState CaptureState(const sim::SimMachine& machine) {
    MachineState state;
    for (const sim::SimPrinter& printer : machine.Printers()) {
        state.printers.insert(ToUtf8(printer.name));
    }
    for (const sim::SimDriver& driver : machine.Drivers()) {
        state.drivers.insert(ToUtf8(driver.environment) + ", " + ToUtf8(driver.name));
    }
    for (const sim::SimForm& form : machine.Forms()) {
        state.forms.insert(ToUtf8(form.name));
    }
    for (Handle root : {kHkeyCurrentUser, kHkeyLocalMachine, kHkeyUsers}) {
        CaptureKeys(machine, root, u"", state);
    }
    for (const std::u16string& path : machine.AllPaths()) {
        const std::string text = ToUtf8(path);
        (machine.FolderExists(path) ? state.folders : state.files).insert(text);
        state.attributes[text] = machine.Attributes(path).value_or(0);
    }
    for (const sim::SimProcess& process : machine.Processes()) {
        if (process.running) {
            state.runningProcesses[process.processId] = ToUtf8(process.exeFile);
        }
    }
    return state;
}

std::vector<ChangeGroup> DiffStates(const MachineState& before, const MachineState& after) {
    return {
        {"printers deleted", Minus(before.printers, after.printers)},
        {"drivers deleted", Minus(before.drivers, after.drivers)},
        {"forms deleted", Minus(before.forms, after.forms)},
        {"registry keys deleted", Minus(before.keys, after.keys)},
        {"registry values deleted", DeletedValues(before, after)},
        {"files deleted", Minus(before.files, after.files)},
        {"folders deleted", Minus(before.folders, after.folders)},
        {"files created", Minus(after.files, before.files)},
        {"folders created", Minus(after.folders, before.folders)},
        {"attributes reset", ChangedAttributes(before, after)},
        {"processes ended", EndedProcesses(before, after)},
    };
}

PreviewReport BuildReport(const MachineState& before, sim::SimMachine& after, const std::string& logBefore) {
    PreviewReport report;
    auto packages = JournalObjects(after, "DeletePrinterDriverPackageW");
    std::sort(packages.begin(), packages.end());
    // The journal's groups, each after the state group it belongs with.
    for (const std::vector<ChangeGroup> changes = DiffStates(before, CaptureState(after));
         const ChangeGroup& group : changes) {
        report.changes.push_back(group);
        if (group.title == "printers deleted") {
            report.changes.push_back({"printers pending deletion", PendingPrinters(after)});
        } else if (group.title == "drivers deleted") {
            report.changes.push_back({"driver packages deleted", packages});
        }
    }
    report.changes.push_back({"services", ServiceLines(after)});
    report.updaterFolder = DescribeUpdaterFolder(before, after);
    const std::string log =
        after.ReadFile(after.CurrentDirectory() + u"\\" + std::u16string(kCommandLogFileName)).value_or("");
    // Each entry begins with a line end, which leaves nothing to show on its own.
    report.commandLog = SplitLines(std::string_view(log).substr(std::min(logBefore.size(), log.size())));
    std::erase(report.commandLog, std::string());
    return report;
}

std::string FormatReport(const PreviewReport& report) {
    std::string out = "preview of Spoolsweep.exe";
    for (const std::string& argument : report.arguments) {
        out += " " + argument;
    }
    out += "\n" + FormatChanges(report.changes);
    out += "updater folder: " + report.updaterFolder + "\n";
    out += "console:\n";
    AppendIndented(out, SplitLines(report.console));
    out += "command log:\n";
    AppendIndented(out, report.commandLog);
    out += "what this preview cannot know:\n";
    for (const std::string& note : report.cannotKnow) {
        out += "  - " + note + "\n";
    }
    return out;
}

std::string FormatChanges(const std::vector<ChangeGroup>& changes) {
    std::string out;
    for (const ChangeGroup& group : changes) {
        out += group.title +
               (group.lines.empty() ? ": none\n" : " (" + std::to_string(group.lines.size()) + "):\n");
        AppendIndented(out, group.lines);
    }
    return out;
}

nlohmann::ordered_json ChangesJson(const std::vector<ChangeGroup>& changes) {
    nlohmann::ordered_json json = nlohmann::ordered_json::object();
    for (const ChangeGroup& group : changes) {
        json[group.title] = group.lines;
    }
    return json;
}

nlohmann::ordered_json ReportJson(const PreviewReport& report) {
    nlohmann::ordered_json json;
    json["arguments"] = report.arguments;
    json["changes"] = ChangesJson(report.changes);
    json["updaterFolder"] = report.updaterFolder;
    json["console"] = report.console;
    json["commandLog"] = report.commandLog;
    json["cannotKnow"] = report.cannotKnow;
    return json;
}

}  // namespace spoolsweep::preview
