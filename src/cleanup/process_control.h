#pragma once
// Ending the processes that keep a driver's files busy: a driver's companion process, named after its
// data-file base name with ".srv", and the job-monitoring tool "Trackwell.exe".
#include <string>
#include <string_view>

#include "cli/command_log.h"
#include "platform/processes.h"
#include "platform/system.h"

namespace spoolsweep {

inline constexpr std::u16string_view kTrackwellExeName = u"Trackwell.exe";

// The companion process's executable name: the base name followed by ".srv" (".srv" for an empty base).
[[nodiscard]] std::u16string CompanionProcessName(std::u16string_view dataFileBase);
// Command-line form: logs the search and, when the companion process is found, that it is being ended.
void FreeupPrerequisites(Processes& processes, System& system, CommandLog& log,
                         std::u16string_view dataFileBase);
// Dialog form: the same search and termination, without log lines.
void TerminateSrvProcess(Processes& processes, std::u16string_view dataFileBase);
// Ends the first process named exactly "Trackwell.exe", with exit code 0.
void TerminateTrackwell(Processes& processes);

}  // namespace spoolsweep
