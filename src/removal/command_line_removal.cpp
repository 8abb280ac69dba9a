// The removal of one printer in command-line mode, and of its driver when no printer that stays needs it.
#include "cli/command_line_remover.h"

#include <memory>
#include <optional>
#include <string>

#include "cleanup/file_residue.h"
#include "cleanup/process_control.h"
#include "cleanup/registry_facts.h"
#include "cleanup/registry_residue.h"
#include "cleanup/service_control.h"
#include "removal/removal_index.h"
#include "spooler/driver_catalogue.h"
#include "spooler/printer_operations.h"

namespace spoolsweep {

RemovalIndex& CommandLineRemover::Index() {
    if (!index_) {
        index_ = std::make_unique<RemovalIndex>(
            printers, catalogue.printers,
            [this](std::u16string_view driver) { return ReadDriverDataFileBase(machine_.registry, driver); });
    }
    return *index_;
}

bool CommandLineRemover::RemovePrinterAt(std::uint32_t index) {
    // The options pass only indexes of printers; anything else removes nothing.
    if (index >= printers.size()) {
        return false;
    }
    log_.WriteLogLine("Deleting Selected Printer");
    PrinterRecord& printer = printers[index];
    printer.selected = 1;

    // The first test only warns; the second, made right after, decides.
    if (HasQueuedJobs(machine_.spooler, printer.printerName)) {
        log_.WriteLogLine("Printer is Busy.");
    }
    if (HasQueuedJobs(machine_.spooler, printer.printerName)) {
        log_.WriteLogLine("Printer is Busy.");
        return false;
    }
    log_.WriteLogLine("Printer is Not Busy.");

    ReadDriverFacts(index);
    DeletePrinterItself(printer);
    DeletePrinterTempFiles(machine_.files, machine_.registry, printer.printerName, printer.serverName);
    DeletePrinterRegistryResidue(machine_.registry, printer.printerName);
    MarkDeleted(index);

    const std::int32_t remaining = Index().TamberPrintersLeft();
    const UpdaterFolders folders = SelectUpdaterFolders(machine_.system);
    const bool installExisted = machine_.files.PathFileExists(folders.install);
    if (remaining > 0 && installExisted) {
        CopyUpdater(machine_.files, machine_.system, UpdaterCopy::Backup);
    }
    if (printer.driverToDelete == 1) {
        DeleteDriverAt(index);
        RestartSpooler(machine_.services, machine_.system);
    }
    SettleUpdaterFolders(remaining, folders);
    return true;
}

// Facts read before anything is deleted. Only the printer being removed ever uses them: the facts of the
// other selected printers are read again at their own call, so they are not read here.
void CommandLineRemover::ReadDriverFacts(std::uint32_t index) {
    PrinterRecord& printer = printers[index];
    printer.driverToDelete = IsDriverExclusive(index);
    if (printer.driverToDelete != 1) {
        return;
    }
    ::spoolsweep::ReadDriverFacts(machine_.registry, machine_.system, printer);
}

void CommandLineRemover::DeletePrinterItself(const PrinterRecord& printer) {
    if (!printer.serverName.empty()) {
        DeletePrinterConnectionByName(machine_.spooler, printer.printerName);
        return;
    }
    if (IsLastLocalPrinter() == 1) {
        const FormList forms = EnumPrinterForms(machine_.spooler, printer.printerName);
        DeleteListedForms(machine_.spooler, machine_.registry, machine_.system, printer.printerName, forms);
    }
    FreeupPrerequisites(machine_.processes, machine_.system, log_, printer.dataFileBase);
    DeletePrinterByName(machine_.spooler, printer.printerName);
}

void CommandLineRemover::MarkDeleted(std::uint32_t index) {
    printers[index].deleted = 1;
    const std::size_t entry = CatalogueIndexOf(index);
    if (entry < catalogue.printers.size()) {
        catalogue.printers[entry].deleted = 1;
    }
}

// The catalogue entry of the same index names the same printer unless printers was re-read after a printer
// came or went; the catalogue entry is then found by name, and a printer the catalogue never saw has none.
std::size_t CommandLineRemover::CatalogueIndexOf(std::uint32_t index) const {
    const PrinterRecord& printer = printers[index];
    if (index < catalogue.printers.size() && catalogue.printers[index].printerName == printer.printerName) {
        return index;
    }
    for (std::size_t entry = 0; entry < catalogue.printers.size(); ++entry) {
        if (catalogue.printers[entry].printerName == printer.printerName) {
            return entry;
        }
    }
    return std::string::npos;
}

// Keeps the updater in its folder while a Tamber printer remains, and removes both folders when none does.
void CommandLineRemover::SettleUpdaterFolders(std::int32_t remaining, const UpdaterFolders& folders) {
    const bool installExists = machine_.files.PathFileExists(folders.install);
    const bool backupExists = machine_.files.PathFileExists(folders.backup);
    if (remaining <= 0) {
        if (installExists) {
            (void)DeleteFolderTree(machine_.files, folders.install);
        }
        if (backupExists) {
            (void)DeleteFolderTree(machine_.files, folders.backup);
        }
    } else if (installExists) {
        if (backupExists) {
            (void)DeleteFolderTree(machine_.files, folders.backup);
        }
    } else if (backupExists) {
        CopyUpdater(machine_.files, machine_.system, UpdaterCopy::Restore);
        (void)DeleteFolderTree(machine_.files, folders.backup);
    }
}

void CommandLineRemover::DeleteDriverAt(std::uint32_t index) {
    const PrinterRecord& printer = printers[index];
    log_.WriteLogLine("Deletion of Selected Driver with Index " + std::to_string(static_cast<int>(index)));
    DeletePrinterDriverAllEnvironments(machine_.spooler, machine_.registry, machine_.system,
                                       printer.driverName);
    DeleteDriverFiles(machine_.files, machine_.registry, printer.dataFileBase, printer.dsDriverName,
                      printer.pnpHardwareId);
    DeleteDriverRegistryResidue(machine_.registry, printer.printerName, printer.dataFileBase);
    // The spooler removed the driver's key, the residue sweep the keys named after the printer.
    Index().ForgetDriverFacts(printer.driverName);
    Index().ForgetDriverFacts(printer.printerName);
}

int CommandLineRemover::IsDriverExclusive(std::uint32_t index) {
    return Index().HasOtherUnselectedUser(index) ? 0 : 1;
}

int CommandLineRemover::IsLastLocalPrinter() {
    return Index().IsOneLocalPrinterLeft() ? 1 : 0;
}

}  // namespace spoolsweep
