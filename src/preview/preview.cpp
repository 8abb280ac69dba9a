#include "preview/preview.h"

#include <sstream>

#include "app/spoolsweep_app.h"
#include "cli/command_log.h"
#include "cli/custom_command_line_info.h"
#include "preview/machine_json.h"

namespace spoolsweep::preview {
namespace {

// What no snapshot can know, said in every report.
constexpr const char* kLimits[] = {
    "Printers, jobs, files and keys that appear or change between this preview and the removal are not in "
    "it.",
    "A service that does not stop or start in time, a process that will not end, a file in use or protected "
    "and a key the administrator may not change make the real removal keep what is listed here as deleted.",
    "Whether another program holds the service database lock, and which folders refuse changes, cannot be "
    "read without changing them: the preview takes the lock as free and every folder as writable.",
    "Only the folders the removal searches are read: the Temp folders (their own entries), the spool driver "
    "folders (two levels), the presets, the updater folders and the command log.",
    "Message texts are shown in English; Spoolsweep.exe shows them in the language it chooses.",
};

// "A,B": the printer names of a --check list.
void AddChecks(const std::string& list, std::vector<std::string>& checks) {
    std::istringstream in(list);
    for (std::string name; std::getline(in, name, ',');) {
        if (!name.empty()) {
            checks.push_back(name);
        }
    }
}

bool AddAnswers(const std::string& list, std::vector<int>& answers) {
    std::istringstream in(list);
    for (std::string answer; std::getline(in, answer, ',');) {
        if (answer != "1" && answer != "2") {
            return false;
        }
        answers.push_back(answer[0] - '0');
    }
    return true;
}

}  // namespace

std::string ParsePreviewArguments(const std::vector<std::string>& arguments, PreviewOptions& options) {
    for (std::size_t at = 0; at < arguments.size(); ++at) {
        const std::string& argument = arguments[at];
        const bool hasValue = at + 1 < arguments.size();
        if (argument == "--json") {
            options.json = true;
        } else if (argument == "--compare" && at + 2 < arguments.size()) {
            options.compareBefore = arguments[++at];
            options.compareAfter = arguments[++at];
        } else if (argument == "--backup" && hasValue) {
            options.backupFolder = arguments[++at];
        } else if (argument == "--restore" && hasValue) {
            options.restoreFolder = arguments[++at];
        } else if (argument == "--run") {
            options.runAfterBackup = true;
        } else if (argument == "--preview") {
            options.restorePreview = true;
        } else if (argument == "--save" && hasValue) {
            options.saveFile = arguments[++at];
        } else if (argument == "--check" && hasValue) {
            options.dialog = true;
            AddChecks(arguments[++at], options.dialogRun.checks);
        } else if (argument == "--delete-all") {
            options.dialog = true;
            options.dialogRun.deleteAll = true;
        } else if (argument == "--answers" && hasValue) {
            options.dialog = true;
            if (!AddAnswers(arguments[++at], options.dialogRun.answers)) {
                return "--answers takes 1 (OK) and 2 (Cancel), separated by commas";
            }
        } else if (argument.starts_with("--")) {
            return "unknown option " + argument;
        } else {
            options.programArguments.push_back(argument);
        }
    }
    if (options.dialog && !options.programArguments.empty()) {
        return "the dialog's choice and Spoolsweep.exe's options cannot be previewed together";
    }
    if (!options.compareBefore.empty() && (AsksForRun(options) || !options.saveFile.empty())) {
        return "--compare takes no other option than --json";
    }
    if (!options.restoreFolder.empty() && (AsksForRun(options) || !options.saveFile.empty() ||
                                           !options.compareBefore.empty() || !options.backupFolder.empty())) {
        return "--restore takes no other option than --preview and --json";
    }
    if (options.restorePreview && options.restoreFolder.empty()) {
        return "--preview goes with --restore";
    }
    if (!options.backupFolder.empty() && (!AsksForRun(options) || !options.compareBefore.empty())) {
        return "--backup needs Spoolsweep.exe's options or the dialog's choice";
    }
    // The dialog's choice is made again in the program's own window, so only the command line's options can
    // be run as they were backed up; and the program's own output would break the JSON.
    if (options.runAfterBackup &&
        (options.backupFolder.empty() || options.programArguments.empty() || options.json)) {
        return "--run goes with --backup and Spoolsweep.exe's options, without --json";
    }
    if (!AsksForRun(options) && options.saveFile.empty() && options.compareBefore.empty() &&
        options.restoreFolder.empty()) {
        return "nothing to preview";
    }
    return {};
}

bool AsksForRun(const PreviewOptions& options) {
    return options.dialog || !options.programArguments.empty();
}

std::vector<ChangeGroup> CompareSnapshots(const sim::MachineJson& before, const sim::MachineJson& after) {
    sim::SimMachine first;
    sim::SimMachine second;
    sim::LoadMachine(before, first);
    sim::LoadMachine(after, second);
    return DiffStates(CaptureState(first), CaptureState(second));
}

PreviewReport RunPreview(sim::SimMachine& machine, const PreviewOptions& options,
                         std::vector<std::string> snapshotNotes) {
    const MachineState before = CaptureState(machine);
    const std::u16string log = machine.CurrentDirectory() + u"\\" + std::u16string(kCommandLogFileName);
    const std::string logBefore = machine.ReadFile(log).value_or("");
    machine.SetConsoleAttachable(true);
    std::string console;
    std::vector<std::string> arguments = options.programArguments;
    if (options.dialog) {
        std::ostringstream out;
        static_cast<void>(sim::RunDialogRemoval(machine, options.dialogRun, out, out));
        console = out.str();
        arguments = {"(dialog)"};
        for (const std::string& name : options.dialogRun.checks) {
            arguments.push_back("--check \"" + name + "\"");
        }
        if (options.dialogRun.deleteAll) {
            arguments.emplace_back("--delete-all");
        }
    } else {
        ResetPendingOption();
        machine.SetCommandLine(sim::BuildCommandLine(options.programArguments));
        static_cast<void>(RunSpoolsweepApp(machine.machine()));
        console = machine.Stdout();
    }
    PreviewReport report = BuildReport(before, machine, logBefore);
    report.arguments = std::move(arguments);
    report.console = std::move(console);
    report.cannotKnow = std::move(snapshotNotes);
    report.cannotKnow.insert(report.cannotKnow.end(), std::begin(kLimits), std::end(kLimits));
    return report;
}

}  // namespace spoolsweep::preview
