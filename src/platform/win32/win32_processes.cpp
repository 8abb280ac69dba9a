// The process seam over the tool-help snapshot and kernel32.
#include "platform/win32/unique_handles.h"
#include "platform/win32/win32_seams.h"
#include "platform/win32/windows_api.h"

namespace spoolsweep::win32 {
namespace {

HANDLE AsHandle(Handle handle) {
    return FromPortable<HANDLE>(handle);
}

template <class Step>
std::optional<ProcessEntry> WalkStep(Handle snapshot, Step step) {
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    if (!step(AsHandle(snapshot), &entry)) {
        return std::nullopt;
    }
    return ProcessEntry{FromWide(entry.szExeFile), entry.th32ProcessID};
}

}  // namespace

HandleResult Win32Processes::CreateSnapshot() {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    bool ok = snapshot != INVALID_HANDLE_VALUE;
    return {ok ? ToPortable(snapshot) : 0, ErrorAfter(ok)};
}

std::optional<ProcessEntry> Win32Processes::FirstProcess(Handle snapshot) {
    return WalkStep(snapshot, ::Process32FirstW);
}

std::optional<ProcessEntry> Win32Processes::NextProcess(Handle snapshot) {
    return WalkStep(snapshot, ::Process32NextW);
}

HandleResult Win32Processes::OpenProcess(std::uint32_t access, std::uint32_t processId) {
    HANDLE process = ::OpenProcess(access, FALSE, processId);
    return {ToPortable(process), ErrorAfter(process != nullptr)};
}

ExitCodeResult Win32Processes::GetExitCode(Handle process) {
    DWORD exitCode = 0;
    BOOL ok = ::GetExitCodeProcess(AsHandle(process), &exitCode);
    return {ErrorAfter(ok != FALSE), exitCode};
}

Status Win32Processes::TerminateProcess(Handle process, std::uint32_t exitCode) {
    return {ErrorAfter(::TerminateProcess(AsHandle(process), exitCode) != FALSE)};
}

void Win32Processes::CloseHandle(Handle handle) {
    unique_handle owner(AsHandle(handle));
}

}  // namespace spoolsweep::win32
