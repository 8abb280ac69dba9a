#include "cli/command_log.h"

#include <array>
#include <cstddef>
#include <ctime>

namespace spoolsweep {
namespace {

constexpr std::string_view kBanner = "\t Tamber Spoolsweep Command Line  ------> \t";

// The program sets no locale, so "%X" gives 24-hour hours, minutes and seconds.
std::string FormatTimestamp(const std::tm& time) {
    std::array<char, 80> buffer{};
    std::size_t length = std::strftime(buffer.data(), buffer.size(), "%Y-%m-%d.%X", &time);
    return {buffer.data(), length};
}

}  // namespace

void CommandLog::WriteLogLine(const char* message) {
    WriteLogLine(std::string(message ? message : ""));
}

void CommandLog::WriteLogLine(std::string message) {
    message.insert(0, "\n " + FormatTimestamp(system_.LocalTime()) + std::string(kBanner));
    // A log that cannot be opened (a read-only working directory) loses this entry only: the log is a
    // record of the work, never a reason to stop it.
    static_cast<void>(files_.AppendText(kCommandLogFileName, message));
}

}  // namespace spoolsweep
