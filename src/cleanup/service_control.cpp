#include "cleanup/service_control.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win_errors.h"

namespace spoolsweep {
namespace {

// The services being stopped further up the current recursion. The manager refuses dependency cycles, but
// a name met twice would otherwise recurse without end.
using StopChain = std::vector<std::u16string>;

void StopDependentsInChain(Services& services, System& system, std::u16string_view serviceName,
                           StopChain& chain);

ServiceHandle OpenServiceAllAccess(Services& services, std::u16string_view serviceName) {
    const Handle manager = services.SharedManager();
    if (manager == 0) {
        return ServiceHandle{};
    }
    return ServiceHandle(services.OpenService(manager, serviceName, kServiceAllAccess).handle, {&services});
}

bool BudgetSpent(System& system, std::uint32_t startTick) {
    // Unsigned difference: correct across the tick counter's wrap.
    return system.TickCount() - startTick > kServiceWaitBudgetMs;
}

// Drives one service from `from` through `pending` with `request`, as long as the budget allows. A request
// the manager refuses ends the wait at once: the service keeps its state and asking again gets the same
// answer. A service that accepts requests but never leaves `from` is given up after kMaxServiceRequests.
template <class Request>
void DriveService(Services& services, System& system, Handle service, ServiceState from, ServiceState pending,
                  Request request) {
    const std::uint32_t startTick = system.TickCount();
    int requests = 0;
    for (;;) {
        const ServiceStatusResult status = services.QueryStatus(service);
        if (status.error != win_error::kSuccess) {
            return;
        }
        if (status.state == from) {
            if (requests == kMaxServiceRequests || !request(service).ok()) {
                return;
            }
            ++requests;
            continue;
        }
        if (status.state != pending) {
            return;
        }
        const bool expired = BudgetSpent(system, startTick);
        system.Sleep(kServicePollMs);
        if (expired) {
            return;
        }
    }
}

void StopServiceInChain(Services& services, System& system, std::u16string_view serviceName,
                        StopChain& chain) {
    if (std::find(chain.begin(), chain.end(), serviceName) != chain.end()) {
        return;
    }
    chain.emplace_back(serviceName);
    StopDependentsInChain(services, system, serviceName, chain);
    chain.pop_back();

    const ServiceHandle service = OpenServiceAllAccess(services, serviceName);
    if (!service) {
        return;
    }
    DriveService(services, system, service.get(), ServiceState::Running, ServiceState::StopPending,
                 [&services](Handle handle) { return services.ControlStop(handle); });
}

void StopDependentsInChain(Services& services, System& system, std::u16string_view serviceName,
                           StopChain& chain) {
    const ServiceHandle service = OpenServiceAllAccess(services, serviceName);
    if (!service) {
        return;
    }
    // Only "buffer too small" means there are active dependents to list.
    const auto sizing = services.EnumDependentServices(service.get(), kServiceActive, 0);
    if (sizing.ok || sizing.error != win_error::kMoreData) {
        return;
    }
    const auto dependents = services.EnumDependentServices(service.get(), kServiceActive, sizing.bytesNeeded);
    if (!dependents.ok) {
        return;
    }
    for (const std::u16string& dependent : dependents.entries) {
        StopServiceInChain(services, system, dependent, chain);
    }
}

}  // namespace

void RestartSpooler(Services& services, System& system) {
    static_cast<void>(services.SharedManager());
    StopServiceWithDependents(services, system, kSpoolerServiceName);
    StartSpoolerService(services, system);
}

void StopServiceWithDependents(Services& services, System& system, std::u16string_view serviceName) {
    StopChain chain;
    StopServiceInChain(services, system, serviceName, chain);
}

void StopDependentServices(Services& services, System& system, std::u16string_view serviceName) {
    StopChain chain{std::u16string(serviceName)};
    StopDependentsInChain(services, system, serviceName, chain);
}

void StartSpoolerService(Services& services, System& system) {
    const ServiceHandle service = OpenServiceAllAccess(services, kSpoolerServiceName);
    if (!service) {
        return;
    }
    DriveService(services, system, service.get(), ServiceState::Stopped, ServiceState::StartPending,
                 [&services](Handle handle) { return services.StartService(handle); });
}

}  // namespace spoolsweep
