// spoolsweep-sim: runs the program's start-up, or the dialog mode's removal, on a simulated machine described
// by a JSON file, prints what the program showed, and can write the machine back afterwards.
//   spoolsweep-sim --machine in.json [--write out.json] -- <program arguments>
//   spoolsweep-sim --machine in.json [--write out.json] --dialog [--check NAME]... [--delete-all]
//                  [--answers 1,2,...]
//   spoolsweep-sim --machine in.json --preview <SpoolsweepPreview arguments>
// Exit status: the program's (dialog: see dialog_run.h); 2 for a machine file that cannot be read or a
// printer that has no line; 3 when the program threw.
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app/spoolsweep_app.h"
#include "preview/dialog_run.h"
#include "preview/machine_json.h"
#include "preview/preview.h"
#include "preview/snapshot.h"

namespace {

constexpr const char* kUsage =
    "usage: spoolsweep-sim --machine in.json [--write out.json] -- <program arguments>\n"
    "       spoolsweep-sim --machine in.json [--write out.json] --dialog [--check NAME]... [--delete-all]\n"
    "                      [--answers 1,2,...]\n"
    "       spoolsweep-sim --machine in.json --preview <SpoolsweepPreview arguments>\n";

struct Options {
    std::string machineFile;
    std::string writeFile;
    std::vector<std::string> programArguments;
    bool dialog = false;
    spoolsweep::sim::DialogRun dialogRun;
    bool preview = false;
    spoolsweep::preview::PreviewOptions previewOptions;
};

// "1,2,2": message-box answers (1 OK, 2 Cancel).
bool ParseAnswers(const std::string& list, std::vector<int>& answers) {
    std::istringstream in(list);
    for (std::string answer; std::getline(in, answer, ',');) {
        if (answer.empty() || answer.find_first_not_of("0123456789") != std::string::npos ||
            answer.size() > 4) {
            return false;
        }
        answers.push_back(std::stoi(answer));
    }
    return true;
}

bool ParseOptions(int argc, char** argv, Options& options) {
    int at = 1;
    for (; at < argc; ++at) {
        std::string argument = argv[at];
        if (argument == "--") {
            ++at;
            break;
        }
        if (argument == "--preview") {
            options.preview = true;
            const std::vector<std::string> rest(argv + at + 1, argv + argc);
            if (const std::string error =
                    spoolsweep::preview::ParsePreviewArguments(rest, options.previewOptions);
                !error.empty()) {
                std::cerr << "spoolsweep-sim: " << error << "\n";
                return false;
            }
            // A backup belongs on the machine it came from: a machine file loaded here is not written back.
            if (!options.previewOptions.backupFolder.empty() ||
                !options.previewOptions.restoreFolder.empty()) {
                std::cerr << "spoolsweep-sim: --backup and --restore are SpoolsweepPreview.exe's alone\n";
                return false;
            }
            return !options.machineFile.empty() && options.writeFile.empty() && !options.dialog;
        }
        const bool hasValue = at + 1 < argc;
        if ((argument == "--machine" || argument == "--write") && hasValue) {
            (argument == "--machine" ? options.machineFile : options.writeFile) = argv[++at];
        } else if (argument == "--dialog") {
            options.dialog = true;
        } else if (argument == "--check" && hasValue) {
            options.dialogRun.checks.emplace_back(argv[++at]);
        } else if (argument == "--delete-all") {
            options.dialogRun.deleteAll = true;
        } else if (argument == "--answers" && hasValue) {
            if (!ParseAnswers(argv[++at], options.dialogRun.answers)) {
                return false;
            }
        } else {
            return false;
        }
    }
    for (; at < argc; ++at) {
        options.programArguments.emplace_back(argv[at]);
    }
    // The dialog's choices belong to a dialog run, and a dialog run takes no program arguments.
    const bool dialogChoices = !options.dialogRun.checks.empty() || options.dialogRun.deleteAll ||
                               !options.dialogRun.answers.empty();
    if (options.dialog ? !options.programArguments.empty() : dialogChoices) {
        return false;
    }
    return !options.machineFile.empty();
}

// The whole file; one that cannot be read gives an empty text, which the JSON parser refuses.
std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The preview as SpoolsweepPreview.exe makes it, with the loaded machine standing for the real one: a
// snapshot read through its seams, the run on the snapshot, the report.
int RunPreview(spoolsweep::sim::SimMachine& machine, const spoolsweep::preview::PreviewOptions& options) {
    using namespace spoolsweep;
    if (!options.compareBefore.empty()) {
        try {
            const auto changes =
                preview::CompareSnapshots(sim::ParseJson(ReadWholeFile(options.compareBefore)),
                                          sim::ParseJson(ReadWholeFile(options.compareAfter)));
            std::cout << (options.json ? preview::ChangesJson(changes).dump(2) + "\n"
                                       : preview::FormatChanges(changes));
            return 0;
        } catch (const std::exception& error) {
            std::cerr << "spoolsweep-sim: " << error.what() << "\n";
            return 2;
        }
    }
    sim::SimMachine snapshot;
    std::vector<std::string> notes =
        preview::TakeSnapshot(machine.machine(), {machine.CurrentDirectory(), {}, 0}, snapshot);
    if (!options.saveFile.empty()) {
        std::ofstream out(options.saveFile, std::ios::binary);
        out << sim::DumpMachine(snapshot).dump(2) << "\n";
        if (!out) {
            std::cerr << "spoolsweep-sim: cannot write " << options.saveFile << "\n";
            return 2;
        }
    }
    if (preview::AsksForRun(options)) {
        const preview::PreviewReport report = preview::RunPreview(snapshot, options, std::move(notes));
        std::cout << (options.json ? preview::ReportJson(report).dump(2) + "\n"
                                   : preview::FormatReport(report));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::cerr << kUsage;
        return 2;
    }
    spoolsweep::sim::SimMachine machine;
    try {
        if (!std::ifstream(options.machineFile)) {
            std::cerr << "spoolsweep-sim: cannot read " << options.machineFile << "\n";
            return 2;
        }
        spoolsweep::sim::LoadMachine(spoolsweep::sim::ParseJson(ReadWholeFile(options.machineFile), true),
                                     machine);
    } catch (const std::exception& error) {
        std::cerr << "spoolsweep-sim: " << options.machineFile << ": " << error.what() << "\n";
        return 2;
    }
    if (options.preview) {
        return RunPreview(machine, options.previewOptions);
    }
    // The program reports through its console, log and message boxes, never by exception; one that escapes is
    // a defect, shown here with the machine still written for inspection.
    int status = 3;
    try {
        if (options.dialog) {
            status = spoolsweep::sim::RunDialogRemoval(machine, options.dialogRun, std::cout, std::cerr);
        } else {
            machine.SetCommandLine(spoolsweep::sim::BuildCommandLine(options.programArguments));
            status = spoolsweep::RunSpoolsweepApp(machine.machine());
        }
    } catch (const std::exception& error) {
        std::cerr << "spoolsweep-sim: the program threw: " << error.what() << "\n";
    }
    if (!options.dialog) {
        std::cout << machine.Stdout();
    }
    std::cout << std::flush;

    if (!options.writeFile.empty()) {
        std::ofstream out(options.writeFile, std::ios::binary);
        out << spoolsweep::sim::DumpMachine(machine).dump(2) << "\n";
        if (!out) {
            std::cerr << "spoolsweep-sim: cannot write " << options.writeFile << "\n";
            return 2;
        }
    }
    return status;
}
