#pragma once
// What the dialog mode's removal engine sees of its dialog: the printer check list, the deleted-printers
// list, the "Delete All Printer Drivers" value and the notice that a shared driver stays. The Win32 dialog
// serves these from the removal's worker thread by messages sent to its interface thread, so that every
// window is touched by the thread that owns it; tests serve them with a small fake.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace spoolsweep {

// The printer check list (control 1000): a sorted list of lines, each with a check state.
class CheckListView {
  public:
    virtual ~CheckListView() = default;
    // Removes every line.
    virtual void ResetContent() = 0;
    // Adds one line, unchecked; the list places it in its sort order.
    virtual void AddString(std::u16string_view line) = 0;
    [[nodiscard]] virtual std::size_t GetCount() = 0;
    [[nodiscard]] virtual std::u16string GetText(std::size_t index) = 0;
    // 0 unchecked, 1 checked (2 indeterminate is never set by this program).
    [[nodiscard]] virtual int GetCheck(std::size_t index) = 0;
};

// The rest of the dialog that the removal uses.
class RemovalDialogView {
  public:
    virtual ~RemovalDialogView() = default;
    // Appends a removed printer's name to the deleted-printers list (control 1004), which only grows.
    virtual void AddDeletedPrinter(std::u16string_view printerName) = 0;
    // m_bDeleteAll as the interface thread set it before the removal started.
    [[nodiscard]] virtual std::int32_t DeleteAllValue() = 0;
    // String 105 with the driver's and the printer's name, caption 102, OK, no owner window.
    virtual void ShowDriverKeptMessage(std::u16string driverName, std::u16string printerName) = 0;
};

// LBS_SORT: a list box with this style places every added line in its sort order.
inline constexpr std::uint32_t kListBoxSort = 0x0002;

// FillPrinterList's answer when no printer is installed.
inline constexpr int kNoPrintersInstalled = 18;

// What the dialog asks of its removal engine (PrinterRemover).
class DialogRemovalEngine {
  public:
    virtual ~DialogRemovalEngine() = default;
    // Refills the check list with the installed printers, unchecked; 18 when there is none, else 0.
    [[nodiscard]] virtual int FillPrinterList() = 0;
    // 1 when a printer of the check list, checked or not, has queued jobs; their names are appended.
    [[nodiscard]] virtual int FindBusyPrinters(std::vector<std::u16string>& names) = 0;
    // Removes the checked printers; runs on the dialog's worker thread.
    virtual void RunRemoval() = 0;
};

}  // namespace spoolsweep
