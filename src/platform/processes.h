#pragma once
// Process snapshots and termination.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/results.h"

namespace spoolsweep {

inline constexpr std::uint32_t kProcessTerminate = 0x0001;
inline constexpr std::uint32_t kProcessAllAccess = 0x1F0FFF;
inline constexpr std::uint32_t kStillActive = 259;

// The PROCESSENTRY32W members the program reads.
struct ProcessEntry {
    std::u16string exeFile;
    std::uint32_t processId = 0;
};

struct ExitCodeResult {
    std::uint32_t error = 0;
    std::uint32_t exitCode = 0;
};

class Processes {
  public:
    virtual ~Processes() = default;

    // CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0).
    [[nodiscard]] virtual HandleResult CreateSnapshot() = 0;
    // Process32FirstW / Process32NextW; nothing once the walk is over or the call fails.
    [[nodiscard]] virtual std::optional<ProcessEntry> FirstProcess(Handle snapshot) = 0;
    [[nodiscard]] virtual std::optional<ProcessEntry> NextProcess(Handle snapshot) = 0;
    [[nodiscard]] virtual HandleResult OpenProcess(std::uint32_t access, std::uint32_t processId) = 0;
    [[nodiscard]] virtual ExitCodeResult GetExitCode(Handle process) = 0;
    [[nodiscard]] virtual Status TerminateProcess(Handle process, std::uint32_t exitCode) = 0;
    // CloseHandle, for snapshots and processes alike.
    virtual void CloseHandle(Handle handle) = 0;
};

using KernelHandle = UniqueResource<SeamCloser<Processes, &Processes::CloseHandle>>;

}  // namespace spoolsweep
