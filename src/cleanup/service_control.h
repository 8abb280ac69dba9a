#pragma once
// The spooler restart: "Spooler" and every active service that depends on it are stopped, dependents of
// dependents first, and "Spooler" is started again, each wait bounded.
#include <cstdint>
#include <string_view>

#include "platform/services.h"
#include "platform/system.h"

namespace spoolsweep {

inline constexpr std::u16string_view kSpoolerServiceName = u"Spooler";
// A pending stop or start is waited for this long, counted from just before the first status query.
inline constexpr std::uint32_t kServiceWaitBudgetMs = 10000;
inline constexpr std::uint32_t kServicePollMs = 100;
// A service that still reports its old state after this many accepted requests is taken to ignore them.
inline constexpr int kMaxServiceRequests = 3;

// Opens the shared Service Control Manager handle on first use, stops "Spooler" with its dependents and
// starts it again. Nothing is reported: a service that cannot be opened or queried ends its step quietly.
void RestartSpooler(Services& services, System& system);
// Stops the service's active dependents (recursively), then the service, waiting while it is stop pending.
void StopServiceWithDependents(Services& services, System& system, std::u16string_view serviceName);
// Stops every active service that depends on the named one, in the order the manager returns them.
void StopDependentServices(Services& services, System& system, std::u16string_view serviceName);
// Starts "Spooler" when it is stopped, waiting while it is start pending.
void StartSpoolerService(Services& services, System& system);

}  // namespace spoolsweep
