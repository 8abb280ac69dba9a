#include "bench/support/reference_printer_removal.h"

#include <algorithm>

#include "cleanup/process_control.h"
#include "cleanup/registry_facts.h"
#include "cleanup/registry_residue.h"
#include "cleanup/service_control.h"
#include "res/resource.h"
#include "spooler/driver_catalogue.h"

namespace spoolsweep::test {

void RunRemovalStepByStep(Machine& m, PrinterRemover& r) {
    auto& list = r.workingList;
    // Another entry than i, not selected, with this driver name under this comparison.
    const auto sharedWith = [&](std::size_t i, auto same) {
        for (std::size_t j = 0; j < list.size(); ++j) {
            if (j != i && same(list[j].driverName, list[i].driverName) && list[j].selected == 0) {
                return true;
            }
        }
        return false;
    };
    const auto exact = [](const std::u16string& a, const std::u16string& b) { return a == b; };
    const auto byLocale = [&](const std::u16string& a, const std::u16string& b) {
        return m.system.CompareStrings(a, b) == 0;
    };

    // No local printer ever seen: an empty form list, the spooler not asked.
    r.formList = r.firstLocalPrinter.empty() ? FormList{} : EnumPrinterForms(m.spooler, r.firstLocalPrinter);
    for (std::size_t k = 0; k < r.checkList->GetCount(); ++k) {
        std::u16string text = r.checkList->GetText(k);
        text.erase(0, text.find_first_not_of(u" \t\n\v\f\r"));
        const auto named =
            std::find_if(list.begin(), list.end(), [&](auto& e) { return e.printerName == text; });
        if (r.checkList->GetCheck(k) != 0 && named != list.end()) {
            named->selected = 1;
        }
    }
    for (const PrinterRecord& e : list) {
        std::vector<std::u16string> media;
        if (e.selected == 0 && e.serverName.empty()) {
            ReadPrintMediaSupported(m.registry, e.printerName, media);
        }
        for (const std::u16string& name : media) {
            const auto form =
                std::find_if(r.formList.begin(), r.formList.end(), [&](auto& f) { return f.name == name; });
            if (form != r.formList.end()) {
                form->deletable = 0;
            }
        }
    }
    for (std::size_t i = 0; i < list.size(); ++i) {
        PrinterRecord& e = list[i];
        e.driverToDelete = e.selected == 1 ? (sharedWith(i, exact) ? 0 : 1) : e.driverToDelete;
        if (e.selected == 1 && e.driverToDelete == 1) {
            e.dataFileBase = ReadDriverDataFileBase(m.registry, e.driverName);
            e.dsDriverName = ReadDsDriverName(m.registry, m.system, e.driverName, e.serverName);
            if (e.serverName.empty()) {
                e.pnpHardwareId = ReadPrinterHardwareId(m.registry, e.printerName);
            }
        }
    }
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].selected == 1) {
            list[i].driverToDelete = sharedWith(i, byLocale) ? 0 : 1;
        }
    }
    for (std::size_t i = 0; i < list.size(); ++i) {
        PrinterRecord& e = list[i];
        if (e.selected != 1) {
            continue;
        }
        if (!e.serverName.empty()) {
            if (r.dialog->DeleteAllValue() == 0 && sharedWith(i, exact)) {
                r.dialog->ShowDriverKeptMessage(e.driverName, e.printerName);
            }
            DeletePrinterConnectionByName(m.spooler, e.printerName);
        } else {
            DeleteDeletableForms(m.spooler, m.registry, m.system, e.printerName, r.formList);
            if (std::count_if(list.begin(), list.end(),
                              [](auto& l) { return l.serverName.empty() && l.deleted == 0; }) == 1) {
                DeleteListedForms(m.spooler, m.registry, m.system, e.printerName,
                                  EnumPrinterForms(m.spooler, e.printerName));
            }
            TerminateSrvProcess(m.processes, e.dataFileBase);
            DeletePrinterByName(m.spooler, e.printerName);
        }
        DeletePrinterTempFiles(m.files, m.registry, e.printerName, e.serverName);
        DeletePrinterRegistryResidue(m.registry, e.printerName);
        e.deleted = 1;
        r.dialog->AddDeletedPrinter(e.printerName);
    }
    RestartSpooler(m.services, m.system);
    r.remainingDataFiles = CollectRemainingDataFiles(m.registry, r);
    int remaining = CountTamberDataFiles(r);
    if (remaining > 0) {
        CopyUpdater(m.files, m.system, UpdaterCopy::Backup);
    }
    for (std::size_t i = 0; i < list.size(); ++i) {
        // Past the end of the catalogue's list the entry's own data file asks, and the count stays.
        const bool counted = i < r.remainingDataFiles.size();
        const PrinterRecord& e = list[i];
        if (e.driverToDelete == 1 && HasNorvelPrefix(counted ? r.remainingDataFiles[i] : e.dataFileBase)) {
            if (m.system.MessageBox(m.system.LoadString(IDS_DELETE_PRESETS), e.driverName, kMbOkCancel) ==
                kIdOk) {
                DeletePresetFolder(m.files, e.dataFileBase);
            }
            remaining -= counted ? 1 : 0;
        }
        if (e.driverToDelete == 1) {
            r.DeleteDriverEntry(i);
        }
    }
    const UpdaterFolders folders = SelectUpdaterFolders(m.system);
    const bool folderExists = m.files.PathFileExists(folders.install);
    const bool tempExists = m.files.PathFileExists(folders.backup);
    if (remaining > 0 && !folderExists) {
        CopyUpdater(m.files, m.system, UpdaterCopy::Restore);
    }
    if (remaining <= 0 && folderExists) {
        (void)DeleteFolderTree(m.files, folders.install);
    }
    if (tempExists) {
        (void)DeleteFolderTree(m.files, folders.backup);
    }
    if (r.dialog->DeleteAllValue() == 1) {
        DeleteAllPrinterDrivers(m.spooler, m.registry, m.system);
        RestartSpooler(m.services, m.system);
        DeleteAllPrinterRegistryResidue(m.registry);
        TerminateTrackwell(m.processes);
        DeleteSharedResidue(m.files, m.registry);
        if (folderExists) {
            (void)DeleteFolderTree(m.files, folders.install);
        }
        if (tempExists) {
            (void)DeleteFolderTree(m.files, folders.backup);
        }
    }
}

}  // namespace spoolsweep::test
