#pragma once
// The dialog mode's removal engine: it fills the dialog's printer check list, finds the listed printers that
// still have jobs queued, and removes the checked printers with the drivers no other printer needs, their
// forms and their residue. It reaches the dialog only through its two views, so the same engine serves the
// Win32 dialog (from the removal's worker thread) and the tests.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cleanup/file_residue.h"
#include "platform/machine.h"
#include "removal/removal_view.h"
#include "spooler/printer_catalogue.h"
#include "spooler/printer_operations.h"

namespace spoolsweep {

class RemovalIndex;

// A check-list line is formatted into a buffer of this many units, its terminating null included.
inline constexpr std::size_t kListLineBufferChars = 256;

// The catalogue part holds the second enumeration of every fill, so that index k of `printers` and of
// `workingList` name the same printer.
class PrinterRemover : public PrinterCatalogue, public DialogRemovalEngine {
  public:
    // Enumerates the printers once for the catalogue; the lists the removal works on come with the first
    // fill. Both views must outlive the remover.
    PrinterRemover(Machine& machine, RemovalDialogView* dialogView, CheckListView* checkListView);
    ~PrinterRemover() override;
    PrinterRemover(const PrinterRemover&) = delete;
    PrinterRemover& operator=(const PrinterRemover&) = delete;

    // workingList from one enumeration, then the catalogue's printers from a second one.
    void ReloadPrinters();
    // Refills the check list with one unchecked line " name" per printer; kNoPrintersInstalled when there is
    // none, else 0.
    [[nodiscard]] int FillPrinterList() override;
    // Asks about every line of the check list, checked or not; appends the names of the printers with
    // queued jobs to names. 1 when there is at least one, else 0.
    [[nodiscard]] int FindBusyPrinters(std::vector<std::u16string>& names) override;
    // Removes the checked printers, then the drivers no unchecked printer uses, then settles the updater
    // folders; with "Delete All Printer Drivers" also every driver and the machine-wide residue.
    void RunRemoval() override;
    // The printer of entry i with its residue; marks it deleted.
    void RemovePrinterEntry(std::size_t i);
    // The driver of entry i with its files and registry residue.
    void DeleteDriverEntry(std::size_t i);
    // 1 when no entry other than i that is not selected uses the driver of entry i.
    [[nodiscard]] int IsDriverExclusive(std::size_t i);
    // 1 when exactly one local printer of workingList is not yet removed.
    [[nodiscard]] int IsLastLocalPrinter();

    RemovalDialogView* dialog;
    CheckListView* checkList;
    std::vector<PrinterRecord> workingList;
    std::u16string firstLocalPrinter;
    FormList formList;

  private:
    struct UpdaterFolderState {
        UpdaterFolders folders;
        bool folderExists = false;
        bool tempExists = false;
    };

    [[nodiscard]] RemovalIndex& Index();
    void LoadFormList();
    void SelectCheckedPrinters();
    void KeepFormsInUse();
    void ReadDriverFacts();
    void KeepDriversOthersUse();
    void RemoveSelectedPrinters();
    void DeleteSelectedDrivers(int& remaining);
    void AskAboutPresets(const PrinterRecord& printer);
    [[nodiscard]] UpdaterFolderState SettleUpdaterFolders(int remaining);
    void DeleteEverything(const UpdaterFolderState& noted);

    Machine& machine_;
    // Built from workingList's names on first use after a fill; it reads the marks from workingList itself.
    std::unique_ptr<RemovalIndex> index_;
};

// String 105 with the driver's and the printer's name, in this order, captioned with string 102, with an OK
// button and no owner window: the notice that a removed printer's driver stays for another printer.
void ShowDriverKeptNotice(System& system, std::u16string_view driverName, std::u16string_view printerName);

}  // namespace spoolsweep
