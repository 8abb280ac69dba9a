#include "ui/main_dialog_controller.h"

#include <vector>

#include "platform/text.h"

namespace spoolsweep {
namespace {

// String-table entries of the dialog.
constexpr std::uint32_t kIdsAboutBox = 101;
constexpr std::uint32_t kIdsCaption = 102;
constexpr std::uint32_t kIdsNoPrinters = 103;
constexpr std::uint32_t kIdsAllPrintersChecked = 104;
constexpr std::uint32_t kIdsDeleteAllDrivers = 129;
constexpr std::uint32_t kIdsPrintersBusy = 130;
constexpr std::uint32_t kIdsNothingSelected = 147;
constexpr std::uint32_t kIdsCloseApplications = 1010;

// Pixels between the "+" button and what follows it, and below the button row.
constexpr int kLayoutGap = 20;
constexpr int kButtonRowMargin = 10;
// The system reserves the low four bits of a system command.
constexpr std::uint32_t kSysCommandMask = 0xFFF0;

}  // namespace

MainDialogController::MainDialogController(MainDialogView& view, System& system, DialogRemovalEngine& engine)
    : view_(view), system_(system), engine_(engine) {}

bool MainDialogController::OnInitDialog() {
    if (view_.HasSystemMenu()) {
        const std::u16string about = system_.LoadString(kIdsAboutBox);
        if (!about.empty()) {
            view_.AppendSystemMenuItem(dialog_id::kAbout, about);
        }
    }
    view_.SetIcon(true);
    view_.SetIcon(false);
    UpdateLayout();
    view_.SetCheckStyle(kAutoCheckBoxStyle);
    if (engine_.FillPrinterList() == kNoPrintersInstalled) {
        static_cast<void>(ShowMessage(system_.LoadString(kIdsNoPrinters), kMbIconStop));
        view_.EndDialog(dialog_id::kNo);
        return false;
    }
    if (ShowMessage(system_.LoadString(kIdsCloseApplications), kMbOkCancelExclamationDefaultCancel) ==
        dialog_id::kCancel) {
        view_.EndDialog(dialog_id::kNo);
        return false;
    }
    return true;
}

bool MainDialogController::OnSysCommand(std::uint32_t command) {
    if ((command & kSysCommandMask) != static_cast<std::uint32_t>(dialog_id::kAbout)) {
        return false;
    }
    OnBnClickedAbout();
    return true;
}

// Checking every printer by hand does not set "Delete All Printer Drivers": that box also deletes every
// driver of the machine, so only the box itself, confirmed, may set it.
void MainDialogController::OnChkChangePrinterList() {
    if (CountCheckedPrinters() == view_.PrinterCount()) {
        static_cast<void>(ShowMessage(system_.LoadString(kIdsAllPrintersChecked), kMbOk));
        return;
    }
    if (view_.IsButtonChecked(dialog_id::kDeleteAll)) {
        view_.SetButtonCheck(dialog_id::kDeleteAll, false);
    }
}

// Called after the auto check box has toggled. Only an explicit OK arms the removal of every driver.
void MainDialogController::OnBnClickedDeleteAll() {
    if (!view_.IsButtonChecked(dialog_id::kDeleteAll)) {
        SetAllPrinterChecks(0);
        return;
    }
    if (ShowMessage(system_.LoadString(kIdsDeleteAllDrivers), kMbOkCancelStopDefaultCancel) ==
        dialog_id::kOk) {
        SetAllPrinterChecks(1);
    } else {
        view_.SetButtonCheck(dialog_id::kDeleteAll, false);
    }
}

void MainDialogController::OnBnClickedDelete() {
    UpdateData(true);
    if (CountCheckedPrinters() == 0) {
        static_cast<void>(ShowMessage(system_.LoadString(kIdsNothingSelected), kMbOk));
        return;
    }
    // Every listed printer counts, checked or not: a removal restarts the spooler, which would cut off the
    // jobs still queued anywhere.
    std::vector<std::u16string> busy;
    if (engine_.FindBusyPrinters(busy) != 0) {
        std::u16string text = system_.LoadString(kIdsPrintersBusy);
        for (const std::u16string& name : busy) {
            text += FormatOne(u"-> %s\n\n", name);
        }
        static_cast<void>(ShowMessage(text, kMbIconStop));
        return;
    }
    // The controls that could start a second run stay disabled until the completion: only one thread does
    // removal work at a time, without locks.
    EnableRemovalControls(false);
    removing_ = true;
    if (!view_.StartRemovalWorker()) {
        OnRemovalDone();
    }
}

void MainDialogController::OnBnClickedExpand() {
    m_bExpanded = m_bExpanded != 0 ? 0 : 1;
    UpdateLayout();
}

void MainDialogController::OnBnClickedAbout() {
    view_.OpenAbout();
}

void MainDialogController::OnOK() {
    // During a removal the worker reads m_bDeleteAll: it is not written until the completion.
    if (!removing_) {
        UpdateData(true);
    }
    EndOrDefer(dialog_id::kOk);
}

void MainDialogController::OnCancel() {
    EndOrDefer(dialog_id::kCancel);
}

// A close asked for during a removal (the close box, Escape, the system menu's Close) is remembered, and the
// dialog ends once the completion has been handled: the removal is never cut off half-way, and nothing the
// worker still uses (the dialog, its lists, the engine) is torn down under it. Idle, the dialog ends at once.
void MainDialogController::EndOrDefer(int result) {
    if (removing_) {
        deferredEnd_ = result;
        return;
    }
    view_.EndDialog(result);
}

void MainDialogController::RemovalThreadProc() {
    engine_.RunRemoval();
    view_.SendRemovalDone();
}

void MainDialogController::OnRemovalDone() {
    // An empty machine shows an empty list here, without the start-up's message.
    static_cast<void>(engine_.FillPrinterList());
    m_bDeleteAll = 0;
    EnableRemovalControls(true);
    UpdateData(false);
    removing_ = false;
    if (deferredEnd_) {
        view_.EndDialog(*deferredEnd_);
        deferredEnd_.reset();
    }
}

// The dialog grows by the lower list and a gap when expanded; the printer list's height stands for the
// lower list's, as the template makes both the same.
void MainDialogController::UpdateLayout() {
    const PixelRect window = view_.WindowRect();
    const int frameHeight = window.Height() - view_.ClientRect().Height();
    const int plusBottom = view_.ControlRect(dialog_id::kExpand).bottom;
    const PixelRect about = view_.ControlRect(dialog_id::kAbout);
    const PixelRect exit = view_.ControlRect(dialog_id::kOk);
    const bool expanded = m_bExpanded != 0;

    int height = frameHeight + plusBottom + kLayoutGap + exit.Height();
    if (expanded) {
        height += view_.ControlRect(dialog_id::kPrinterList).Height() + kLayoutGap;
    }
    view_.ResizeWindow(window.Width(), height);

    const int rowTop = height - kButtonRowMargin - about.Height() - frameHeight;
    view_.MoveControl(dialog_id::kAbout, {about.left, rowTop, about.right, rowTop + about.Height()});
    view_.MoveControl(dialog_id::kOk, {exit.left, rowTop, exit.right, rowTop + about.Height()});

    view_.ShowControl(dialog_id::kDeletedList, expanded);
    view_.ShowControl(dialog_id::kDeletedLabel, expanded);
    view_.SetControlText(dialog_id::kExpand, expanded ? u"-" : u"+");
    view_.FocusControl(dialog_id::kDelete);
}

std::size_t MainDialogController::CountCheckedPrinters() {
    std::size_t checked = 0;
    const std::size_t count = view_.PrinterCount();
    for (std::size_t i = 0; i < count; ++i) {
        if (view_.PrinterCheck(i) == 1) {
            ++checked;
        }
    }
    return checked;
}

void MainDialogController::UpdateData(bool saveAndValidate) {
    if (saveAndValidate) {
        m_bDeleteAll = view_.IsButtonChecked(dialog_id::kDeleteAll) ? 1 : 0;
    } else {
        view_.SetButtonCheck(dialog_id::kDeleteAll, m_bDeleteAll != 0);
    }
}

// The About button, the "+" button and the deleted-printers list stay usable during a removal.
void MainDialogController::EnableRemovalControls(bool enable) {
    for (int id : {dialog_id::kPrinterList, dialog_id::kDelete, dialog_id::kOk, dialog_id::kDeleteAll}) {
        view_.EnableControl(id, enable);
    }
}

void MainDialogController::SetAllPrinterChecks(int check) {
    const std::size_t count = view_.PrinterCount();
    for (std::size_t i = 0; i < count; ++i) {
        view_.SetPrinterCheck(i, check);
    }
}

int MainDialogController::ShowMessage(std::u16string_view text, std::uint32_t style) {
    return view_.ShowMessage(text, system_.LoadString(kIdsCaption), style);
}

IconOrigin CenterIcon(const PixelRect& client, int iconWidth, int iconHeight) {
    return {(client.Width() - iconWidth + 1) / 2, (client.Height() - iconHeight + 1) / 2};
}

}  // namespace spoolsweep
