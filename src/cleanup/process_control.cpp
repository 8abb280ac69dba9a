#include "cleanup/process_control.h"

#include <functional>
#include <optional>

namespace spoolsweep {
namespace {

KernelHandle TakeSnapshot(Processes& processes) {
    return KernelHandle(processes.CreateSnapshot().handle, {&processes});
}

// The first process of a snapshot whose executable name equals `exeName` exactly (letter case included).
std::optional<ProcessEntry> FindFirstProcessNamed(Processes& processes, Handle snapshot,
                                                  std::u16string_view exeName) {
    auto entry = processes.FirstProcess(snapshot);
    while (entry && entry->exeFile != exeName) {
        entry = processes.NextProcess(snapshot);
    }
    return entry;
}

// Ends the process with the exit code it reports (259 while it runs); when the code cannot be read the
// process is still ended, with 0.
void TerminateWithOwnExitCode(Processes& processes, std::uint32_t processId) {
    const KernelHandle process(processes.OpenProcess(kProcessAllAccess, processId).handle, {&processes});
    if (!process) {
        return;
    }
    const ExitCodeResult exit = processes.GetExitCode(process.get());
    static_cast<void>(processes.TerminateProcess(process.get(), exit.error == 0 ? exit.exitCode : 0));
}

// Ends the first companion process of dataFileBase; onFound, when given, runs once it is found.
void EndCompanionProcess(Processes& processes, std::u16string_view dataFileBase,
                         const std::function<void()>& onFound) {
    const KernelHandle snapshot = TakeSnapshot(processes);
    if (!snapshot) {
        return;
    }
    const auto match = FindFirstProcessNamed(processes, snapshot.get(), CompanionProcessName(dataFileBase));
    if (!match) {
        return;
    }
    if (onFound) {
        onFound();
    }
    TerminateWithOwnExitCode(processes, match->processId);
}

}  // namespace

std::u16string CompanionProcessName(std::u16string_view dataFileBase) {
    return std::u16string(dataFileBase) + u".srv";
}

void FreeupPrerequisites(Processes& processes, System& system, CommandLog& log,
                         std::u16string_view dataFileBase) {
    log.WriteLogLine("FreeupPrerequisites");
    const std::string narrowBase = system.WideToMultiByte(dataFileBase, kCpThreadAcp);
    EndCompanionProcess(processes, dataFileBase, [&] {
        log.WriteLogLine("PC File Name " + narrowBase + " SRV Process Found.");
        log.WriteLogLine(narrowBase + "SRV Process is being Terminated.");
    });
}

void TerminateSrvProcess(Processes& processes, std::u16string_view dataFileBase) {
    EndCompanionProcess(processes, dataFileBase, {});
}

void TerminateTrackwell(Processes& processes) {
    const KernelHandle snapshot = TakeSnapshot(processes);
    if (!snapshot) {
        return;
    }
    const auto match = FindFirstProcessNamed(processes, snapshot.get(), kTrackwellExeName);
    if (!match) {
        return;
    }
    const KernelHandle process(processes.OpenProcess(kProcessTerminate, match->processId).handle,
                               {&processes});
    if (process) {
        static_cast<void>(processes.TerminateProcess(process.get(), 0));
    }
}

}  // namespace spoolsweep
