#pragma once
// Helpers for tests that run the whole program on a simulated machine.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace spoolsweep::test {

inline constexpr char16_t kLogPath[] = u"C:\\Users\\admin\\Spoolsweep_CL.log";
// The folders of a fresh simulated machine that the cleaners work in.
inline const std::u16string kUserTemp = u"C:\\Users\\admin\\AppData\\Local\\Temp";
inline const std::u16string kWinTemp = u"C:\\Windows\\Temp";
inline const std::u16string kSpool = u"C:\\Windows\\System32\\spool\\drivers";
inline const std::u16string kPresets = u"C:\\Users\\admin\\AppData\\Roaming\\Norvel\\JPData";
inline constexpr std::string_view kBanner = "\t Tamber Spoolsweep Command Line  ------> \t";
// The command log's last line after any option.
inline constexpr char kClosing[] = "Command Line Arguments Passed so No UI is launched.";

// A printer as the spooler lists it; a name "\\server\printer" makes it a connection to that server.
[[nodiscard]] sim::SimPrinter MakePrinter(std::u16string_view name, std::u16string_view driver,
                                          std::u16string_view share = {});

// The messages of the command log in the current directory, timestamps and banner removed.
[[nodiscard]] std::vector<std::string> LogMessages(const sim::SimMachine& sim,
                                                   std::u16string_view logPath = kLogPath);

// The spooler's printer names, in its order.
[[nodiscard]] std::vector<std::u16string> PrinterNames(const sim::SimMachine& sim);
// Whether a process of the snapshot is still running; a process that left the snapshot is not.
[[nodiscard]] bool IsRunning(const sim::SimMachine& sim, std::uint32_t processId);

// Journal lines that begin with prefix.
[[nodiscard]] std::size_t CountJournal(const sim::SimMachine& sim, std::string_view prefix);
// The position of the first journal line that begins with prefix.
[[nodiscard]] std::optional<std::size_t> JournalIndex(const sim::SimMachine& sim, std::string_view prefix);

}  // namespace spoolsweep::test
