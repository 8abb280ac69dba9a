// The Service Control Manager of the simulated machine. Pending states last pendingMs on the simulated
// clock, which only Sleep advances.
#include <algorithm>

#include "platform/sim/sim_seams.h"
#include "platform/win_errors.h"

namespace spoolsweep::sim {

namespace {

constexpr std::uint32_t kEnumServiceStatusBytes = 36;  // ENUM_SERVICE_STATUSW of the 32-bit program
constexpr std::uint32_t kServiceInactive = 0x2;

}  // namespace

HandleResult SimServices::OpenManager(std::uint32_t access) {
    if (std::uint32_t error = world_.Enter("OpenSCManagerW")) {
        return {0, error};
    }
    Handle handle = world_.NewHandle();
    world_.serviceHandles.emplace(handle, OpenServiceHandle{u"", access});
    return {handle, 0};
}

HandleResult SimServices::LockDatabase(Handle manager) {
    if (std::uint32_t error = world_.Enter("LockServiceDatabase")) {
        return {0, error};
    }
    auto it = world_.serviceHandles.find(manager);
    if (it == world_.serviceHandles.end() || !it->second.name.empty()) {
        return {0, win_error::kInvalidHandle};
    }
    if ((it->second.access & kScManagerLock) == 0) {
        return {0, win_error::kAccessDenied};
    }
    if (world_.databaseLockHeldElsewhere || world_.databaseLocked) {
        return {0, win_error::kServiceDatabaseLocked};
    }
    world_.databaseLocked = true;
    Handle lock = world_.NewHandle();
    world_.lockHandles.emplace(lock, true);
    return {lock, 0};
}

void SimServices::UnlockDatabase(Handle lock) {
    if (world_.Enter("UnlockServiceDatabase") != 0) {
        return;
    }
    if (world_.lockHandles.erase(lock) == 0) {
        ++world_.badCloses;
        return;
    }
    world_.databaseLocked = false;
}

HandleResult SimServices::OpenService(Handle manager, std::u16string_view name, std::uint32_t access) {
    if (std::uint32_t error = world_.Enter("OpenServiceW", name)) {
        return {0, error};
    }
    auto it = world_.serviceHandles.find(manager);
    if (it == world_.serviceHandles.end() || !it->second.name.empty()) {
        return {0, win_error::kInvalidHandle};
    }
    if (!sim_access::Holds(it->second.access, sim_access::kScManagerConnect)) {
        return {0, win_error::kAccessDenied};
    }
    SimService* service = world_.FindService(name);
    if (service == nullptr) {
        return {0, win_error::kServiceDoesNotExist};
    }
    Handle handle = world_.NewHandle();
    world_.serviceHandles.emplace(handle, OpenServiceHandle{service->name, access});
    return {handle, 0};
}

void SimServices::CloseServiceHandle(Handle handle) {
    if (world_.Enter("CloseServiceHandle") != 0) {
        return;
    }
    if (world_.serviceHandles.erase(handle) == 0) {
        ++world_.badCloses;
    }
}

std::uint32_t SimServices::CheckAccess(Handle handle, std::uint32_t needed) const {
    auto it = world_.serviceHandles.find(handle);
    return sim_access::Holds(it->second.access, needed) ? 0 : win_error::kAccessDenied;
}

SimService* SimServices::ServiceOf(Handle handle) {
    auto it = world_.serviceHandles.find(handle);
    if (it == world_.serviceHandles.end() || it->second.name.empty()) {
        return nullptr;
    }
    return world_.FindService(it->second.name);
}

ServiceStatusResult SimServices::QueryStatus(Handle service) {
    SimService* target = ServiceOf(service);
    if (std::uint32_t error = world_.Enter("QueryServiceStatusEx", target ? target->name : u"")) {
        return {error, ServiceState::Stopped};
    }
    if (target == nullptr) {
        return {win_error::kInvalidHandle, ServiceState::Stopped};
    }
    if (std::uint32_t denied = CheckAccess(service, sim_access::kServiceQueryStatus)) {
        return {denied, ServiceState::Stopped};
    }
    world_.Settle(*target);
    return {0, target->state};
}

Status SimServices::ControlStop(Handle service) {
    SimService* target = ServiceOf(service);
    if (std::uint32_t error = world_.Enter("ControlService", target ? target->name : u"")) {
        return {error};
    }
    if (target == nullptr) {
        return {win_error::kInvalidHandle};
    }
    if (std::uint32_t denied = CheckAccess(service, sim_access::kServiceStop)) {
        return {denied};
    }
    world_.Settle(*target);
    if (target->refusesControl) {
        return {win_error::kServiceCannotAcceptCtrl};
    }
    if (target->state == ServiceState::Stopped) {
        return {win_error::kServiceNotActive};
    }
    if (target->state != ServiceState::Running && target->state != ServiceState::Paused) {
        return {win_error::kServiceCannotAcceptCtrl};
    }
    // Windows refuses to stop a service while a service that depends on it still runs.
    for (const auto& dependent : target->dependents) {
        SimService* other = world_.FindService(dependent);
        if (other != nullptr) {
            world_.Settle(*other);
            if (other->state != ServiceState::Stopped) {
                return {sim_error::kDependentServicesRunning};
            }
        }
    }
    target->state = ServiceState::StopPending;
    target->pendingSince = world_.tick;
    world_.Journal("ControlService " + ToUtf8(target->name) + " STOP");
    return {0};
}

Status SimServices::StartService(Handle service) {
    SimService* target = ServiceOf(service);
    if (std::uint32_t error = world_.Enter("StartServiceW", target ? target->name : u"")) {
        return {error};
    }
    if (target == nullptr) {
        return {win_error::kInvalidHandle};
    }
    if (std::uint32_t denied = CheckAccess(service, sim_access::kServiceStart)) {
        return {denied};
    }
    world_.Settle(*target);
    if (target->refusesControl) {
        return {win_error::kServiceCannotAcceptCtrl};
    }
    if (target->state != ServiceState::Stopped) {
        return {win_error::kServiceAlreadyRunning};
    }
    target->state = ServiceState::StartPending;
    target->pendingSince = world_.tick;
    world_.Journal("StartServiceW " + ToUtf8(target->name));
    return {0};
}

EnumResult<std::u16string> SimServices::EnumDependentServices(Handle service, std::uint32_t stateFilter,
                                                              std::uint32_t bufferBytes) {
    SimService* target = ServiceOf(service);
    if (std::uint32_t error = world_.Enter("EnumDependentServicesW", target ? target->name : u"")) {
        return {false, error, 0, {}};
    }
    if (target == nullptr) {
        return {false, win_error::kInvalidHandle, 0, {}};
    }
    if (std::uint32_t denied = CheckAccess(service, sim_access::kServiceEnumerateDependents)) {
        return {false, denied, 0, {}};
    }
    if ((stateFilter & (kServiceActive | kServiceInactive)) == 0) {
        return {false, win_error::kInvalidParameter, 0, {}};
    }
    std::vector<std::u16string> names;
    std::uint32_t needed = 0;
    for (const auto& dependent : std::vector<std::u16string>(target->dependents)) {
        SimService* other = world_.FindService(dependent);
        if (other == nullptr) {
            continue;
        }
        world_.Settle(*other);
        bool active = other->state != ServiceState::Stopped;
        if ((active && (stateFilter & kServiceActive) != 0) ||
            (!active && (stateFilter & kServiceInactive) != 0)) {
            // The service name and its display name (the same text here).
            needed += kEnumServiceStatusBytes + 2 * 2 * static_cast<std::uint32_t>(other->name.size() + 1);
            names.push_back(other->name);
        }
    }
    EnumResult<std::u16string> result;
    if (names.empty()) {
        result.ok = true;
        return result;
    }
    result.bytesNeeded = needed;
    if (bufferBytes < needed) {
        result.error = win_error::kMoreData;
        return result;
    }
    result.ok = true;
    result.entries = std::move(names);
    return result;
}

}  // namespace spoolsweep::sim
