#pragma once
// The Service Control Manager as the program uses it.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "platform/results.h"

namespace spoolsweep {

inline constexpr std::uint32_t kScManagerLock = 0x0008;
inline constexpr std::uint32_t kScManagerAllAccess = 0xF003F;
inline constexpr std::uint32_t kServiceAllAccess = 0xF01FF;
inline constexpr std::uint32_t kServiceActive = 0x1;

enum class ServiceState : std::uint32_t {
    Stopped = 1,
    StartPending = 2,
    StopPending = 3,
    Running = 4,
    ContinuePending = 5,
    PausePending = 6,
    Paused = 7,
};

struct ServiceStatusResult {
    std::uint32_t error = 0;
    ServiceState state = ServiceState::Stopped;
};

class Services {
  public:
    virtual ~Services() = default;

    // The process-wide Service Control Manager handle of the spooler restart: opened with all access on the
    // first call and kept; 0 when that open failed, which is not retried (every later service operation then
    // fails to open its service and does nothing).
    [[nodiscard]] Handle SharedManager() {
        if (!sharedManagerOpened_) {
            sharedManagerOpened_ = true;
            sharedManager_ = OpenManager(kScManagerAllAccess).handle;
        }
        return sharedManager_;
    }
    // Closes the shared handle, once. Every implementation calls it from its own destructor (the base's
    // destructor can no longer reach the implementation's CloseServiceHandle); the entry point may call it
    // earlier, before the process ends.
    void CloseSharedManager() {
        if (Handle manager = std::exchange(sharedManager_, 0); manager != 0) {
            CloseServiceHandle(manager);
        }
    }

    // OpenSCManagerW(NULL, NULL, access).
    [[nodiscard]] virtual HandleResult OpenManager(std::uint32_t access) = 0;
    // LockServiceDatabase / UnlockServiceDatabase.
    [[nodiscard]] virtual HandleResult LockDatabase(Handle manager) = 0;
    virtual void UnlockDatabase(Handle lock) = 0;
    [[nodiscard]] virtual HandleResult OpenService(Handle manager, std::u16string_view name,
                                                   std::uint32_t access) = 0;
    // CloseServiceHandle, for managers and services alike.
    virtual void CloseServiceHandle(Handle handle) = 0;
    // QueryServiceStatusEx(SC_STATUS_PROCESS_INFO).
    [[nodiscard]] virtual ServiceStatusResult QueryStatus(Handle service) = 0;
    // ControlService(SERVICE_CONTROL_STOP).
    [[nodiscard]] virtual Status ControlStop(Handle service) = 0;
    // StartServiceW with no arguments.
    [[nodiscard]] virtual Status StartService(Handle service) = 0;
    // EnumDependentServicesW(service, stateFilter, buffer, bufferBytes, ...): fails with 234 when the buffer
    // is too small for the dependents it has; entries are service names in the manager's order.
    [[nodiscard]] virtual EnumResult<std::u16string> EnumDependentServices(Handle service,
                                                                           std::uint32_t stateFilter,
                                                                           std::uint32_t bufferBytes) = 0;

  private:
    Handle sharedManager_ = 0;
    bool sharedManagerOpened_ = false;
};

using ServiceHandle = UniqueResource<SeamCloser<Services, &Services::CloseServiceHandle>>;
using ServiceLock = UniqueResource<SeamCloser<Services, &Services::UnlockDatabase>>;

}  // namespace spoolsweep
