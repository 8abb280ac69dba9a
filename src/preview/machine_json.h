#pragma once
// Machine files: a simulated machine described in JSON (docs/sim-machine.md), loaded before a run and
// written back after it.
#include <nlohmann/json.hpp>

#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/sim/sim_machine.h"

namespace spoolsweep::sim {

using MachineJson = nlohmann::ordered_json;

// A machine file that does not follow the format; what() names the offending entry.
class MachineFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// JSON text, parsed here for every reader: the parser is a large template, compiled once in this source
// instead of in each source that reads JSON. Throws MachineJson::parse_error, which names the byte where it
// stopped; machine files may hold comments (allowComments).
[[nodiscard]] MachineJson ParseJson(std::string_view text, bool allowComments = false);
// The same without throwing: a text that is not whole JSON gives a value whose is_discarded() is true.
[[nodiscard]] MachineJson ParseJsonOrDiscard(std::string_view text);

// Applies a machine file to a machine: on a fresh machine by default, on an empty one when the file says
// "base": "empty" (as written dumps do). Throws MachineFileError.
void LoadMachine(const MachineJson& file, SimMachine& machine);

// The whole machine as a machine file with "base": "empty", followed by what the run produced: console
// output, message boxes, journal, call counts and deleted driver packages (ignored when loaded).
[[nodiscard]] MachineJson DumpMachine(SimMachine& machine);

// A printer's level-2 settings as machine files and backups write them: texts (null when absent), numbers,
// and the DEVMODE and security descriptor as hexadecimal bytes (null when absent).
[[nodiscard]] MachineJson PrinterSettingsJson(const PrinterSettings& settings);

// Read back over `settings` from an object that may hold other fields too; a field left out keeps its value.
// Throws MachineFileError naming `where`.
void ReadPrinterSettings(const MachineJson& object, const std::string& where, PrinterSettings& settings);

// The command line Windows would show for the program started with these arguments: "Spoolsweep.exe"
// followed by each argument, quoted where the run-time library's splitting needs it.
[[nodiscard]] std::u16string BuildCommandLine(const std::vector<std::string>& arguments);

}  // namespace spoolsweep::sim
