// Process snapshots and termination on the simulated machine.
#include <string>

#include "platform/sim/sim_seams.h"
#include "platform/text.h"
#include "platform/win_errors.h"

namespace spoolsweep::sim {

namespace {

constexpr std::uint32_t kProcessQueryInformation = 0x0400;
constexpr std::uint32_t kProcessQueryLimitedInformation = 0x1000;

}  // namespace

HandleResult SimProcesses::CreateSnapshot() {
    if (std::uint32_t error = world_.Enter("CreateToolhelp32Snapshot")) {
        return {0, error};
    }
    OpenKernel snapshot;
    snapshot.snapshot = true;
    for (const SimProcess& process : world_.processes) {
        if (process.running) {
            snapshot.entries.push_back({process.exeFile, process.processId});
        }
    }
    Handle handle = world_.NewHandle();
    world_.kernelHandles.emplace(handle, std::move(snapshot));
    return {handle, 0};
}

std::optional<ProcessEntry> SimProcesses::FirstProcess(Handle snapshot) {
    if (world_.Enter("Process32FirstW") != 0) {
        return std::nullopt;
    }
    auto it = world_.kernelHandles.find(snapshot);
    if (it == world_.kernelHandles.end() || !it->second.snapshot || it->second.entries.empty()) {
        return std::nullopt;
    }
    it->second.next = 1;
    return it->second.entries.front();
}

std::optional<ProcessEntry> SimProcesses::NextProcess(Handle snapshot) {
    if (world_.Enter("Process32NextW") != 0) {
        return std::nullopt;
    }
    auto it = world_.kernelHandles.find(snapshot);
    if (it == world_.kernelHandles.end() || !it->second.snapshot ||
        it->second.next >= it->second.entries.size()) {
        return std::nullopt;
    }
    return it->second.entries[it->second.next++];
}

HandleResult SimProcesses::OpenProcess(std::uint32_t access, std::uint32_t processId) {
    if (std::uint32_t error = world_.Enter("OpenProcess", WidenAscii(std::to_string(processId)))) {
        return {0, error};
    }
    const SimProcess* target = nullptr;
    for (const SimProcess& process : world_.processes) {
        if (process.processId == processId && process.running) {
            target = &process;
        }
    }
    if (target == nullptr) {
        return {0, win_error::kInvalidParameter};
    }
    // The process's security decides which rights an administrator may have on it.
    if ((access & ~target->grantedAccess) != 0) {
        return {0, win_error::kAccessDenied};
    }
    OpenKernel open;
    open.processId = processId;
    open.access = access;
    Handle handle = world_.NewHandle();
    world_.kernelHandles.emplace(handle, std::move(open));
    return {handle, 0};
}

SimProcess* SimProcesses::ProcessOf(Handle handle) {
    auto it = world_.kernelHandles.find(handle);
    if (it == world_.kernelHandles.end() || it->second.snapshot) {
        return nullptr;
    }
    for (SimProcess& process : world_.processes) {
        if (process.processId == it->second.processId) {
            return &process;
        }
    }
    return nullptr;
}

ExitCodeResult SimProcesses::GetExitCode(Handle process) {
    SimProcess* target = ProcessOf(process);
    if (std::uint32_t error = world_.Enter("GetExitCodeProcess", target ? target->exeFile : u"")) {
        return {error, 0};
    }
    if (target == nullptr) {
        return {win_error::kInvalidHandle, 0};
    }
    std::uint32_t access = world_.kernelHandles[process].access;
    if ((access & (kProcessQueryInformation | kProcessQueryLimitedInformation)) == 0) {
        return {win_error::kAccessDenied, 0};
    }
    return {0, target->running ? kStillActive : target->exitCode};
}

Status SimProcesses::TerminateProcess(Handle process, std::uint32_t exitCode) {
    SimProcess* target = ProcessOf(process);
    if (std::uint32_t error = world_.Enter("TerminateProcess", target ? target->exeFile : u"")) {
        return {error};
    }
    if (target == nullptr) {
        return {win_error::kInvalidHandle};
    }
    if ((world_.kernelHandles[process].access & kProcessTerminate) == 0 || !target->running) {
        return {win_error::kAccessDenied};
    }
    target->running = false;
    target->exitCode = exitCode;
    world_.Journal("TerminateProcess " + std::to_string(target->processId) + " " + std::to_string(exitCode));
    return {0};
}

void SimProcesses::CloseHandle(Handle handle) {
    if (world_.Enter("CloseHandle") != 0) {
        return;
    }
    if (world_.kernelHandles.erase(handle) == 0) {
        ++world_.badCloses;
    }
}

}  // namespace spoolsweep::sim
