#pragma once
// The command log "Spoolsweep_CL.log" in the current directory: one timestamped entry per step of the
// command-line mode, the file opened and closed for every entry.
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/system.h"

namespace spoolsweep {

inline constexpr std::u16string_view kCommandLogFileName = u"Spoolsweep_CL.log";

class CommandLog {
  public:
    CommandLog(Files& files, System& system) : files_(files), system_(system) {}

    void WriteLogLine(const char* message);
    void WriteLogLine(std::string message);

  private:
    Files& files_;
    System& system_;
};

}  // namespace spoolsweep
