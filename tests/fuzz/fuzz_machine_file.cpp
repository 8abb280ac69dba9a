// spoolsweep-sim's machine files with arbitrary bytes: a malformed file is refused with an error naming
// what is wrong, and a machine that loads writes a file that loads back to the same machine.
#include <cstring>

#include "fuzz_machine.h"
#include "preview/machine_json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    using namespace spoolsweep;
    sim::MachineJson file;
    try {
        file = sim::ParseJson(std::string_view(reinterpret_cast<const char*>(bytes), size), true);
    } catch (const sim::MachineJson::exception&) {
        return 0;  // the parser names the byte it stopped at, or the number it cannot hold
    }
    sim::SimMachine sim;
    try {
        sim::LoadMachine(file, sim);
    } catch (const sim::MachineFileError& error) {
        fuzz::Require(std::strstr(error.what(), ": ") != nullptr, "an error naming no entry");
        return 0;
    }
    sim::MachineJson written = sim::DumpMachine(sim);
    sim::SimMachine again;
    sim::LoadMachine(written, again);
    sim::MachineJson rewritten = sim::DumpMachine(again);
    written.erase("run");
    rewritten.erase("run");
    fuzz::Require(written == rewritten, "a written machine loads back as another: " + written.dump());
    return 0;
}
