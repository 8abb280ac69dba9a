#include "spooler/driver_catalogue.h"

#include <optional>
#include <utility>

#include "cleanup/registry_facts.h"
#include "platform/structured_exception.h"
#include "spooler/two_call_enumeration.h"

namespace spoolsweep {
namespace {

// One driver deletion with its INF path; the driver package is deleted after the driver, from Vista on.
class DriverDeletion {
  public:
    DriverDeletion(Spooler& spooler, System& system, std::u16string_view driverName, std::u16string infPath)
        : spooler_(spooler), system_(system), driverName_(driverName), infPath_(std::move(infPath)) {}

    // Errors are not reported: 1797 is the normal answer for an environment the driver is not installed in,
    // and 3001 for a driver a printer still uses.
    void DeleteIn(std::u16string_view environment) {
        // This toolchain has no structured-exception translator (mingw lacks _set_se_translator), so a CSE
        // comes only from an MSVC build's translator or from a seam that raises one; the catch stays for
        // those, and a fault in one environment's pass leaves the other pass to run.
        try {
            const Status deleted = spooler_.DeletePrinterDriverEx(environment, driverName_,
                                                                  kDpdDeleteUnusedFiles, kDriverVersion3);
            if (deleted.ok() && system_.OsMajorVersion() >= kVistaMajorVersion && CanDeletePackage()) {
                static_cast<void>(spooler_.DeletePrinterDriverPackage(infPath_, environment));
            }
        } catch (const CSE&) {
            // Carry on with the next environment.
        }
    }

  private:
    // Looked up once per driver, at its first successful deletion, and kept for the other environment: the
    // library and its export cannot change between the two passes.
    bool CanDeletePackage() {
        if (!packageDeletion_) {
            packageDeletion_ = spooler_.CanDeletePrinterDriverPackage();
        }
        return *packageDeletion_;
    }

    Spooler& spooler_;
    System& system_;
    std::u16string_view driverName_;
    std::u16string infPath_;
    std::optional<bool> packageDeletion_;
};

}  // namespace

DriverList EnumPrinterDriverList(Spooler& spooler, std::u16string_view environment) {
    const auto drivers = EnumerateInTwoCalls(
        [&](std::uint32_t bytes) { return spooler.EnumPrinterDrivers(environment, bytes); });
    DriverList list;
    list.reserve(drivers.size());
    for (const DriverInfo& driver : drivers) {
        list.push_back(DriverEntry{driver.name, driver.environment});
    }
    return list;
}

void DeletePrinterDriverAllEnvironments(Spooler& spooler, Registry& registry, System& system,
                                        std::u16string_view driverName) {
    // Read before anything is deleted: the driver's key goes with the driver. Only Vista and later have
    // driver packages to delete by it.
    std::u16string infPath;
    if (system.OsMajorVersion() >= kVistaMajorVersion) {
        infPath = ReadDriverInfPath(registry, driverName);
    }
    DriverDeletion deletion(spooler, system, driverName, std::move(infPath));
    for (const std::u16string_view environment : kDriverEnvironments) {
        deletion.DeleteIn(environment);
    }
}

void DeleteAllPrinterDrivers(Spooler& spooler, Registry& registry, System& system) {
    for (const std::u16string_view environment : kDriverEnvironments) {
        // Taken after the previous environment's pass, which deleted its drivers from both environments.
        const DriverList drivers = EnumPrinterDriverList(spooler, environment);
        for (const DriverEntry& driver : drivers) {
            DeletePrinterDriverAllEnvironments(spooler, registry, system, driver.name);
        }
    }
}

}  // namespace spoolsweep
