// The dialog mode's removal. Every step that asks about the other printers answers from lookups built once
// per run (first entry by name, first form by name, unselected users per driver, local printers left), so a
// run over 2,000 checked printers makes as many platform calls per printer as a run over 20, with the answers
// a walk of the lists would give.
#include "removal/printer_remover.h"

#include <unordered_map>
#include <unordered_set>

#include "cleanup/process_control.h"
#include "cleanup/registry_facts.h"
#include "cleanup/registry_residue.h"
#include "cleanup/service_control.h"
#include "removal/removal_index.h"
#include "resource.h"
#include "spooler/driver_catalogue.h"

namespace spoolsweep {
namespace {

// What the framework's left trim takes for white space.
constexpr std::u16string_view kWhiteSpace = u" \t\n\v\f\r";

// " name" as formatted into the list's line buffer: what does not fit is cut.
std::u16string FormatListLine(std::u16string_view printerName) {
    std::u16string line = u" ";
    line.append(printerName.substr(0, kListLineBufferChars - 2));
    return line;
}

// The pattern's first two "%s" replaced in order; a "%s" inside the first argument stays as it is.
std::u16string FormatTwo(std::u16string_view pattern, std::u16string_view first, std::u16string_view second) {
    std::u16string text;
    std::size_t from = 0;
    for (const std::u16string_view argument : {first, second}) {
        const std::size_t at = pattern.find(u"%s", from);
        if (at == std::u16string_view::npos) {
            break;
        }
        text.append(pattern.substr(from, at - from)).append(argument);
        from = at + 2;
    }
    text.append(pattern.substr(from));
    return text;
}

}  // namespace

PrinterRemover::PrinterRemover(Machine& machine, RemovalDialogView* dialogView, CheckListView* checkListView)
    : PrinterCatalogue(machine.spooler), dialog(dialogView), checkList(checkListView), machine_(machine) {}

PrinterRemover::~PrinterRemover() = default;

RemovalIndex& PrinterRemover::Index() {
    if (!index_) {
        index_ = std::make_unique<RemovalIndex>(workingList);
    }
    return *index_;
}

void PrinterRemover::ReloadPrinters() {
    index_.reset();
    workingList = EnumerateInstalledPrinters(machine_.spooler);
    printers = EnumerateInstalledPrinters(machine_.spooler);
}

int PrinterRemover::FillPrinterList() {
    checkList->ResetContent();
    ReloadPrinters();
    if (workingList.empty()) {
        return kNoPrintersInstalled;
    }
    for (const PrinterRecord& printer : workingList) {
        checkList->AddString(FormatListLine(printer.printerName));
        // Kept for the life of the remover, even after that printer is removed: later runs take their forms
        // from it.
        if (firstLocalPrinter.empty() && printer.serverName.empty()) {
            firstLocalPrinter = printer.printerName;
        }
    }
    return 0;
}

int PrinterRemover::FindBusyPrinters(std::vector<std::u16string>& names) {
    int busy = 0;
    const std::size_t lines = checkList->GetCount();
    for (std::size_t line = 0; line < lines; ++line) {
        const std::u16string text = checkList->GetText(line);
        const std::u16string name = text.empty() ? text : text.substr(1);
        if (HasQueuedJobs(machine_.spooler, name)) {
            names.push_back(name);
            busy = 1;
        }
    }
    return busy;
}

void PrinterRemover::RunRemoval() {
    LoadFormList();
    SelectCheckedPrinters();
    KeepFormsInUse();
    ReadDriverFacts();
    KeepDriversOthersUse();
    RemoveSelectedPrinters();
    RestartSpooler(machine_.services, machine_.system);

    // The catalogue was enumerated before the run and nothing marks it, so every printer counts, the ones
    // just removed included, and its drivers are all still installed.
    remainingDataFiles = CollectRemainingDataFiles(machine_.registry, *this);
    int remaining = CountTamberDataFiles(*this);
    if (remaining > 0) {
        CopyUpdater(machine_.files, machine_.system, UpdaterCopy::Backup);
    }
    DeleteSelectedDrivers(remaining);
    const UpdaterFolderState noted = SettleUpdaterFolders(remaining);
    if (dialog->DeleteAllValue() == 1) {
        DeleteEverything(noted);
    }
}

// An empty name names no printer, and the spooler may take it for the print server itself, whose form list
// is every form of the machine. The name is empty only when no fill has seen a local printer, so the working
// list holds none either and no form is ever deleted through this list: the spooler is not asked at all.
void PrinterRemover::LoadFormList() {
    formList = firstLocalPrinter.empty() ? FormList{} : EnumPrinterForms(machine_.spooler, firstLocalPrinter);
}

// A checked line selects the first entry of that name. A line that names no entry (a name cut to the line's
// buffer, or one beginning with white space, which the trim takes away) selects nothing.
void PrinterRemover::SelectCheckedPrinters() {
    std::unordered_map<std::u16string_view, std::size_t> firstByName;
    for (std::size_t i = 0; i < workingList.size(); ++i) {
        firstByName.try_emplace(workingList[i].printerName, i);
    }
    const std::size_t lines = checkList->GetCount();
    for (std::size_t line = 0; line < lines; ++line) {
        if (checkList->GetCheck(line) == 0) {
            continue;
        }
        const std::u16string text = checkList->GetText(line);
        const std::size_t start = text.find_first_not_of(kWhiteSpace);
        const std::u16string_view name =
            start == std::u16string::npos ? std::u16string_view{} : std::u16string_view(text).substr(start);
        if (const auto found = firstByName.find(name); found != firstByName.end()) {
            workingList[found->second].selected = 1;
        }
    }
}

// A form that a local printer staying behind lists among its media is kept; the first form of each name
// stands for it.
void PrinterRemover::KeepFormsInUse() {
    std::unordered_map<std::u16string_view, FormRecord*> firstForm;
    for (FormRecord& form : formList) {
        firstForm.try_emplace(form.name, &form);
    }
    std::vector<std::u16string> media;
    for (const PrinterRecord& printer : workingList) {
        if (printer.selected != 0 || !printer.serverName.empty()) {
            continue;
        }
        ReadPrintMediaSupported(machine_.registry, printer.printerName, media);
        for (const std::u16string& name : media) {
            if (const auto found = firstForm.find(name); found != firstForm.end()) {
                found->second->deletable = 0;
            }
        }
    }
}

// Read while everything is still installed: the driver's key and the printer's keys go with them.
void PrinterRemover::ReadDriverFacts() {
    for (std::size_t i = 0; i < workingList.size(); ++i) {
        PrinterRecord& printer = workingList[i];
        if (printer.selected != 1) {
            continue;
        }
        printer.driverToDelete = IsDriverExclusive(i);
        if (printer.driverToDelete != 1) {
            continue;
        }
        ::spoolsweep::ReadDriverFacts(machine_.registry, machine_.system, printer);
    }
}

// The final word on each checked printer's driver: it stays when a printer that stays has a driver of a name
// the user's locale takes for the same (lstrcmpW), which may differ from it in code units. Identical names
// need no comparison; other pairs are compared once per distinct name, so the comparisons grow with the
// number of driver names, never with the printers, and there are none when every printer is checked.
void PrinterRemover::KeepDriversOthersUse() {
    std::unordered_set<std::u16string_view> staying;
    std::vector<std::u16string_view> stayingInOrder;
    for (const PrinterRecord& printer : workingList) {
        if (printer.selected != 1 && staying.insert(printer.driverName).second) {
            stayingInOrder.push_back(printer.driverName);
        }
    }
    std::unordered_map<std::u16string_view, bool> keptByName;
    for (PrinterRecord& printer : workingList) {
        if (printer.selected != 1) {
            continue;
        }
        auto [answer, added] = keptByName.try_emplace(printer.driverName, false);
        if (added) {
            answer->second = staying.contains(printer.driverName);
            for (std::size_t k = 0; k < stayingInOrder.size() && !answer->second; ++k) {
                answer->second = machine_.system.CompareStrings(stayingInOrder[k], printer.driverName) == 0;
            }
        }
        printer.driverToDelete = answer->second ? 0 : 1;
    }
}

void PrinterRemover::RemoveSelectedPrinters() {
    for (std::size_t i = 0; i < workingList.size(); ++i) {
        if (workingList[i].selected == 1) {
            RemovePrinterEntry(i);
            // Listed whether or not the spooler deleted it.
            dialog->AddDeletedPrinter(workingList[i].printerName);
        }
    }
}

void PrinterRemover::RemovePrinterEntry(std::size_t i) {
    if (i >= workingList.size()) {
        return;
    }
    PrinterRecord& printer = workingList[i];
    if (!printer.serverName.empty()) {
        // A local printer's kept driver goes without a word; a connection's is explained, unless every
        // driver is about to go anyway.
        if (dialog->DeleteAllValue() == 0 && Index().HasOtherUnselectedUser(i)) {
            dialog->ShowDriverKeptMessage(printer.driverName, printer.printerName);
        }
        DeletePrinterConnectionByName(machine_.spooler, printer.printerName);
    } else {
        DeleteDeletableForms(machine_.spooler, machine_.registry, machine_.system, printer.printerName,
                             formList);
        // With the last local printer goes every form it lists, whatever printer was said to use it.
        if (IsLastLocalPrinter() == 1) {
            const FormList forms = EnumPrinterForms(machine_.spooler, printer.printerName);
            DeleteListedForms(machine_.spooler, machine_.registry, machine_.system, printer.printerName,
                              forms);
        }
        TerminateSrvProcess(machine_.processes, printer.dataFileBase);
        DeletePrinterByName(machine_.spooler, printer.printerName);
    }
    DeletePrinterTempFiles(machine_.files, machine_.registry, printer.printerName, printer.serverName);
    DeletePrinterRegistryResidue(machine_.registry, printer.printerName);
    printer.deleted = 1;
}

void PrinterRemover::DeleteSelectedDrivers(int& remaining) {
    for (std::size_t i = 0; i < workingList.size(); ++i) {
        const PrinterRecord& printer = workingList[i];
        if (printer.driverToDelete != 1) {
            continue;
        }
        if (i < remainingDataFiles.size()) {
            if (HasNorvelPrefix(remainingDataFiles[i])) {
                AskAboutPresets(printer);
                --remaining;
            }
        } else if (HasNorvelPrefix(printer.dataFileBase)) {
            // A printer went between the two enumerations, so the catalogue has no entry at this index. The
            // question is asked by this printer's own driver, read before anything was deleted, so presets
            // are never lost unasked; the count is left alone, because this printer may not be in it, and
            // counting one Tamber printer too many keeps the updater rather than deleting it while Tamber
            // printers may remain.
            AskAboutPresets(printer);
        }
        DeleteDriverEntry(i);
    }
}

void PrinterRemover::AskAboutPresets(const PrinterRecord& printer) {
    if (machine_.system.MessageBox(machine_.system.LoadString(IDS_DELETE_PRESETS), printer.driverName,
                                   kMbOkCancel) == kIdOk) {
        DeletePresetFolder(machine_.files, printer.dataFileBase);
    }
}

void PrinterRemover::DeleteDriverEntry(std::size_t i) {
    if (i >= workingList.size()) {
        return;
    }
    const PrinterRecord& printer = workingList[i];
    DeletePrinterDriverAllEnvironments(machine_.spooler, machine_.registry, machine_.system,
                                       printer.driverName);
    DeleteDriverFiles(machine_.files, machine_.registry, printer.dataFileBase, printer.dsDriverName,
                      printer.pnpHardwareId);
    DeleteDriverRegistryResidue(machine_.registry, printer.printerName, printer.dataFileBase);
}

// Keeps the updater in its folder while a Tamber printer remains, and removes both folders when none does.
PrinterRemover::UpdaterFolderState PrinterRemover::SettleUpdaterFolders(int remaining) {
    UpdaterFolderState noted{SelectUpdaterFolders(machine_.system)};
    noted.folderExists = machine_.files.PathFileExists(noted.folders.install);
    noted.tempExists = machine_.files.PathFileExists(noted.folders.backup);
    if (remaining > 0) {
        if (!noted.folderExists) {
            CopyUpdater(machine_.files, machine_.system, UpdaterCopy::Restore);
        }
        if (noted.tempExists) {
            (void)DeleteFolderTree(machine_.files, noted.folders.backup);
        }
    } else {
        if (noted.folderExists) {
            (void)DeleteFolderTree(machine_.files, noted.folders.install);
        }
        if (noted.tempExists) {
            (void)DeleteFolderTree(machine_.files, noted.folders.backup);
        }
    }
    return noted;
}

// "Delete All Printer Drivers": every driver of both environments and the machine-wide residue. The updater
// folders are deleted as they were when the drivers' loop ended, whatever happened to them since.
void PrinterRemover::DeleteEverything(const UpdaterFolderState& noted) {
    DeleteAllPrinterDrivers(machine_.spooler, machine_.registry, machine_.system);
    RestartSpooler(machine_.services, machine_.system);
    DeleteAllPrinterRegistryResidue(machine_.registry);
    TerminateTrackwell(machine_.processes);
    DeleteSharedResidue(machine_.files, machine_.registry);
    if (noted.folderExists) {
        (void)DeleteFolderTree(machine_.files, noted.folders.install);
    }
    if (noted.tempExists) {
        (void)DeleteFolderTree(machine_.files, noted.folders.backup);
    }
}

int PrinterRemover::IsDriverExclusive(std::size_t i) {
    if (i >= workingList.size()) {
        return 1;  // no entry, so no other printer that needs its driver
    }
    return Index().HasOtherUnselectedUser(i) ? 0 : 1;
}

int PrinterRemover::IsLastLocalPrinter() {
    return Index().IsOneLocalPrinterLeft() ? 1 : 0;
}

void ShowDriverKeptNotice(System& system, std::u16string_view driverName, std::u16string_view printerName) {
    const std::u16string text = FormatTwo(system.LoadString(IDS_DRIVER_KEPT), driverName, printerName);
    (void)system.MessageBox(text, system.LoadString(IDS_APP_CAPTION), kMbOk);
}

}  // namespace spoolsweep
