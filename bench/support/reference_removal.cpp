#include "bench/support/reference_removal.h"

#include <cassert>
#include <sstream>

#include "cleanup/file_residue.h"
#include "cleanup/process_control.h"
#include "cleanup/registry_facts.h"
#include "cleanup/registry_residue.h"
#include "cleanup/service_control.h"
#include "spooler/driver_catalogue.h"
#include "spooler/printer_operations.h"

namespace spoolsweep::test {

bool ReferenceRemoval::RemovePrinterAt(std::uint32_t index) {
    auto& printers = lists_.printers;
    // The step-by-step removal addresses both lists by one index; it is only compared on lists that agree.
    assert(index < printers.size());
    assert(lists_.catalogue.printers.size() == printers.size());
    PrinterRecord& e = printers[index];
    log_.WriteLogLine("Deleting Selected Printer");
    e.selected = 1;
    if (HasQueuedJobs(machine_.spooler, e.printerName)) {
        log_.WriteLogLine("Printer is Busy.");
    }
    if (HasQueuedJobs(machine_.spooler, e.printerName)) {
        log_.WriteLogLine("Printer is Busy.");
        return false;
    }
    log_.WriteLogLine("Printer is Not Busy.");
    for (std::uint32_t j = 0; j < printers.size(); ++j) {
        PrinterRecord& r = printers[j];
        if (r.selected != 1) {
            continue;
        }
        r.driverToDelete = IsDriverExclusive(j);
        if (r.driverToDelete == 1) {
            r.dataFileBase = ReadDriverDataFileBase(machine_.registry, r.driverName);
            r.dsDriverName = ReadDsDriverName(machine_.registry, machine_.system, r.driverName, r.serverName);
            if (r.serverName.empty()) {
                r.pnpHardwareId = ReadPrinterHardwareId(machine_.registry, r.printerName);
            }
        }
    }
    if (e.serverName.empty()) {
        if (IsLastLocalPrinter() == 1) {
            FormList forms = EnumPrinterForms(machine_.spooler, e.printerName);
            DeleteListedForms(machine_.spooler, machine_.registry, machine_.system, e.printerName, forms);
        }
        FreeupPrerequisites(machine_.processes, machine_.system, log_, e.dataFileBase);
        DeletePrinterByName(machine_.spooler, e.printerName);
    } else {
        DeletePrinterConnectionByName(machine_.spooler, e.printerName);
    }
    DeletePrinterTempFiles(machine_.files, machine_.registry, e.printerName, e.serverName);
    DeletePrinterRegistryResidue(machine_.registry, e.printerName);
    e.deleted = 1;
    lists_.catalogue.printers[index].deleted = 1;
    lists_.catalogue.remainingDataFiles = CollectRemainingDataFiles(machine_.registry, lists_.catalogue);
    const int remaining = CountTamberDataFiles(lists_.catalogue);
    const UpdaterFolders folders = SelectUpdaterFolders(machine_.system);
    const bool installBefore = machine_.files.PathFileExists(folders.install);
    if (remaining > 0 && installBefore) {
        CopyUpdater(machine_.files, machine_.system, UpdaterCopy::Backup);
    }
    if (e.driverToDelete == 1) {
        DeleteDriverAt(index);
        RestartSpooler(machine_.services, machine_.system);
    }
    const bool install = machine_.files.PathFileExists(folders.install);
    const bool backup = machine_.files.PathFileExists(folders.backup);
    if (remaining <= 0) {
        if (install) {
            (void)DeleteFolderTree(machine_.files, folders.install);
        }
        if (backup) {
            (void)DeleteFolderTree(machine_.files, folders.backup);
        }
    } else if (install && backup) {
        (void)DeleteFolderTree(machine_.files, folders.backup);
    } else if (!install && backup) {
        CopyUpdater(machine_.files, machine_.system, UpdaterCopy::Restore);
        (void)DeleteFolderTree(machine_.files, folders.backup);
    }
    return true;
}

void ReferenceRemoval::DeleteDriverAt(std::uint32_t index) {
    const PrinterRecord& e = lists_.printers[index];
    std::ostringstream line;
    line << "Deletion of Selected Driver with Index " << static_cast<int>(index);
    log_.WriteLogLine(line.str());
    DeletePrinterDriverAllEnvironments(machine_.spooler, machine_.registry, machine_.system, e.driverName);
    DeleteDriverFiles(machine_.files, machine_.registry, e.dataFileBase, e.dsDriverName, e.pnpHardwareId);
    DeleteDriverRegistryResidue(machine_.registry, e.printerName, e.dataFileBase);
}

int ReferenceRemoval::IsDriverExclusive(std::uint32_t index) const {
    const auto& printers = lists_.printers;
    for (std::uint32_t j = 0; j < printers.size(); ++j) {
        if (j != index && printers[j].driverName == printers[index].driverName && printers[j].selected == 0) {
            return 0;
        }
    }
    return 1;
}

int ReferenceRemoval::IsLastLocalPrinter() const {
    int count = 0;
    for (const PrinterRecord& r : lists_.printers) {
        count += (r.serverName.empty() && r.deleted == 0) ? 1 : 0;
    }
    return count == 1 ? 1 : 0;
}

}  // namespace spoolsweep::test
