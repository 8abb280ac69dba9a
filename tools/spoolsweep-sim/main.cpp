// spoolsweep-sim: runs the program's start-up on a simulated machine described by a JSON file, prints what
// the program wrote to its console, and can write the machine back afterwards.
//   spoolsweep-sim --machine in.json [--write out.json] -- <program arguments>
// Exit status: the program's; 2 for a machine file that cannot be read; 3 when the program threw.
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "app/spoolsweep_app.h"
#include "machine_json.h"

namespace {

constexpr const char* kUsage =
    "usage: spoolsweep-sim --machine in.json [--write out.json] -- <program arguments>\n";

struct Options {
    std::string machineFile;
    std::string writeFile;
    std::vector<std::string> programArguments;
};

bool ParseOptions(int argc, char** argv, Options& options) {
    int at = 1;
    for (; at < argc; ++at) {
        std::string argument = argv[at];
        if (argument == "--") {
            ++at;
            break;
        }
        if ((argument == "--machine" || argument == "--write") && at + 1 < argc) {
            (argument == "--machine" ? options.machineFile : options.writeFile) = argv[++at];
        } else {
            return false;
        }
    }
    for (; at < argc; ++at) {
        options.programArguments.emplace_back(argv[at]);
    }
    return !options.machineFile.empty();
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
        std::ifstream in(options.machineFile);
        if (!in) {
            std::cerr << "spoolsweep-sim: cannot read " << options.machineFile << "\n";
            return 2;
        }
        spoolsweep::sim::LoadMachine(spoolsweep::sim::MachineJson::parse(in, nullptr, true, true), machine);
    } catch (const std::exception& error) {
        std::cerr << "spoolsweep-sim: " << options.machineFile << ": " << error.what() << "\n";
        return 2;
    }
    machine.SetCommandLine(spoolsweep::sim::BuildCommandLine(options.programArguments));

    // The program reports through its console and log, never by exception; one that escapes is a defect,
    // shown here with the machine still written for inspection.
    int status = 3;
    try {
        status = spoolsweep::RunSpoolsweepApp(machine.machine());
    } catch (const std::exception& error) {
        std::cerr << "spoolsweep-sim: the program threw: " << error.what() << "\n";
    }
    std::cout << machine.Stdout() << std::flush;

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
