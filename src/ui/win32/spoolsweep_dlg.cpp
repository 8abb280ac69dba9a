#include "ui/win32/spoolsweep_dlg.h"

#include <process.h>

#include "resource.h"

namespace spoolsweep::win32 {
namespace {

// Private to the dialog: a call the worker wants run on the interface thread (lParam points to it). Taken
// from the WM_APP range, which the dialog manager does not use.
constexpr UINT kWmRunOnInterfaceThread = WM_APP + 1;

static_assert(dialog_id::kOk == IDOK && dialog_id::kCancel == IDCANCEL && dialog_id::kNo == IDNO);
static_assert(dialog_id::kAbout == IDM_ABOUTBOX && dialog_id::kPrinterList == IDC_PRINTER_LIST &&
              dialog_id::kDelete == IDC_DELETE && dialog_id::kDeleteAll == IDC_DELETE_ALL &&
              dialog_id::kDeletedList == IDC_DELETED_LIST && dialog_id::kExpand == IDC_EXPAND &&
              dialog_id::kDeletedLabel == IDC_DELETED_LABEL);
static_assert(kMbOkCancelExclamationDefaultCancel == (MB_OKCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON2));
static_assert(kMbOkCancelStopDefaultCancel == (MB_OKCANCEL | MB_ICONHAND | MB_DEFBUTTON2));
static_assert(kMbIconStop == MB_ICONHAND && kMbOk == MB_OK && kAutoCheckBoxStyle == BS_AUTOCHECKBOX);

PixelRect ToPixelRect(const RECT& rect) {
    return {rect.left, rect.top, rect.right, rect.bottom};
}

}  // namespace

CSpoolsweepDlg::CSpoolsweepDlg(Machine& machine, HINSTANCE resources, const EngineFactory& makeEngine,
                               AboutOpener openAbout, DriverKeptNotice showDriverKept)
    : machine_(machine),
      resources_(resources),
      icon_(::LoadIconW(resources, MAKEINTRESOURCEW(IDR_MAINFRAME))),
      openAbout_(std::move(openAbout)),
      showDriverKept_(std::move(showDriverKept)) {
    if (makeEngine) {
        engine_ =
            makeEngine(machine_, static_cast<RemovalDialogView*>(this), static_cast<CheckListView*>(this));
    }
    if (engine_) {
        controller_ = std::make_unique<MainDialogController>(static_cast<MainDialogView&>(*this),
                                                             machine_.system, *engine_);
    }
}

// The dialog never ends while a removal runs (the controller defers every close until the completion), so
// here the worker has at most its return left; the engine it used goes only after it has ended.
CSpoolsweepDlg::~CSpoolsweepDlg() {
    WaitForWorker();
}

INT_PTR CSpoolsweepDlg::Run() {
    if (!controller_) {
        return -1;
    }
    return DoModal(resources_, IDD_SPOOLSWEEP_DIALOG, nullptr);
}

std::optional<INT_PTR> CSpoolsweepDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            checkList_.Attach(Item(dialog_id::kPrinterList));
            return controller_->OnInitDialog() ? TRUE : FALSE;
        case WM_COMMAND:
            return OnCommand(LOWORD(wParam), HIWORD(wParam));
        case WM_SYSCOMMAND:
            if (controller_->OnSysCommand(static_cast<std::uint32_t>(wParam))) {
                return 0;
            }
            return std::nullopt;
        case WM_PAINT:
            return OnPaint();
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(icon_);
        case WM_MEASUREITEM:
            if (wParam == static_cast<WPARAM>(dialog_id::kPrinterList)) {
                checkList_.MeasureItem(
                    *reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));  // NOLINT(performance-no-int-to-ptr)
                return TRUE;
            }
            return std::nullopt;
        case WM_DRAWITEM:
            if (wParam == static_cast<WPARAM>(dialog_id::kPrinterList)) {
                checkList_.DrawItem(
                    *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));  // NOLINT(performance-no-int-to-ptr)
                return TRUE;
            }
            return std::nullopt;
        case WM_REMOVAL_DONE:
            if (!IsWorkerCompletion()) {
                return std::nullopt;
            }
            controller_->OnRemovalDone();
            return 0;
        case kWmRunOnInterfaceThread:
            (*reinterpret_cast<const std::function<void()>*>(lParam))();  // NOLINT(performance-no-int-to-ptr)
            return 0;
        default:
            return std::nullopt;
    }
}

// The structured-exception translator: this toolchain has no _set_se_translator, so pressing Delete installs
// none and a structured exception on the interface thread is not turned into a CSE. It takes the system's
// unhandled-exception path and ends the program, as a CSE would have, since nothing on this thread catches
// one. The removal's spooler deletions run on the worker, which never had a translator; their CSE catch
// sites stay for a toolchain that has one.
std::optional<INT_PTR> CSpoolsweepDlg::OnCommand(int id, int code) {
    if (id == dialog_id::kPrinterList) {
        if (code != kClbnChkChange) {
            return std::nullopt;
        }
        controller_->OnChkChangePrinterList();
        return 0;
    }
    if (code != BN_CLICKED) {
        return std::nullopt;
    }
    switch (id) {
        case dialog_id::kDelete:
            controller_->OnBnClickedDelete();
            return 0;
        case dialog_id::kExpand:
            controller_->OnBnClickedExpand();
            return 0;
        case dialog_id::kAbout:
            controller_->OnBnClickedAbout();
            return 0;
        case dialog_id::kDeleteAll:
            controller_->OnBnClickedDeleteAll();
            return 0;
        case dialog_id::kOk:
            controller_->OnOK();
            return 0;
        case dialog_id::kCancel:  // Escape, the close box and the system menu's Close
            controller_->OnCancel();
            return 0;
        default:
            return std::nullopt;
    }
}

std::optional<INT_PTR> CSpoolsweepDlg::OnPaint() {
    if (::IsIconic(hwnd()) == FALSE) {
        return std::nullopt;
    }
    PaintDc dc(hwnd());
    ::SendMessageW(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.get()), 0);
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    const IconOrigin origin =
        CenterIcon(ToPixelRect(client), ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON));
    ::DrawIcon(dc.get(), origin.x, origin.y, icon_);
    return 0;
}

// WM_USER + 1 is also the dialog manager's DM_SETDEFID: only a send from another thread while a removal
// runs is the worker's completion.
bool CSpoolsweepDlg::IsWorkerCompletion() const {
    return controller_->IsRemoving() && (::InSendMessageEx(nullptr) & ISMEX_SEND) != 0;
}

unsigned __stdcall CSpoolsweepDlg::RemovalThreadEntry(void* dialog) {
    static_cast<CSpoolsweepDlg*>(dialog)->controller_->RemovalThreadProc();
    return 0;
}

// Messages the worker sends meanwhile are still answered, so that a worker blocked in a send cannot hold
// the wait up.
void CSpoolsweepDlg::WaitForWorker() {
    if (!worker_) {
        return;
    }
    HANDLE thread = worker_.get();
    while (::MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        MSG message{};
        ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    worker_.reset();
}

void CSpoolsweepDlg::SendToInterfaceThread(const std::function<void()>& run) {
    ::SendMessageW(hwnd(), kWmRunOnInterfaceThread, 0, reinterpret_cast<LPARAM>(&run));
}

bool CSpoolsweepDlg::HasSystemMenu() {
    return ::GetSystemMenu(hwnd(), FALSE) != nullptr;
}

void CSpoolsweepDlg::AppendSystemMenuItem(int commandId, std::u16string_view text) {
    HMENU menu = ::GetSystemMenu(hwnd(), FALSE);
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(commandId), Wide(text).c_str());
}

void CSpoolsweepDlg::SetIcon(bool big) {
    ::SendMessageW(hwnd(), WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
}

PixelRect CSpoolsweepDlg::WindowRect() {
    RECT rect{};
    ::GetWindowRect(hwnd(), &rect);
    return ToPixelRect(rect);
}

PixelRect CSpoolsweepDlg::ClientRect() {
    RECT rect{};
    ::GetClientRect(hwnd(), &rect);
    return ToPixelRect(rect);
}

PixelRect CSpoolsweepDlg::ControlRect(int id) {
    RECT rect{};
    ::GetWindowRect(Item(id), &rect);
    ::MapWindowPoints(HWND_DESKTOP, hwnd(), reinterpret_cast<POINT*>(&rect), 2);
    return ToPixelRect(rect);
}

void CSpoolsweepDlg::ResizeWindow(int width, int height) {
    ::SetWindowPos(hwnd(), HWND_TOP, 0, 0, width, height, SWP_NOMOVE);
    // The grown area is painted now, before the buttons move into it; painted later, the dialog's background
    // would cover them (the dialog does not clip its children), as Wine showed.
    ::UpdateWindow(hwnd());
}

void CSpoolsweepDlg::MoveControl(int id, const PixelRect& rect) {
    ::MoveWindow(Item(id), rect.left, rect.top, rect.Width(), rect.Height(), TRUE);
}

void CSpoolsweepDlg::ShowControl(int id, bool show) {
    ::ShowWindow(Item(id), show ? SW_SHOWNORMAL : SW_HIDE);
}

void CSpoolsweepDlg::SetControlText(int id, std::u16string_view text) {
    ::SetWindowTextW(Item(id), Wide(text).c_str());
}

// Through the dialog manager, so that the default push button follows the focus.
void CSpoolsweepDlg::FocusControl(int id) {
    ::SendMessageW(hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(id)), TRUE);
}

// A control loses the focus when it is disabled, and a dialog without a focus ignores the keyboard, Escape
// included: the focus goes on to the next control first.
void CSpoolsweepDlg::EnableControl(int id, bool enable) {
    HWND control = Item(id);
    if (!enable && ::GetFocus() == control) {
        ::SendMessageW(hwnd(), WM_NEXTDLGCTL, 0, FALSE);
    }
    ::EnableWindow(control, enable ? TRUE : FALSE);
}

bool CSpoolsweepDlg::IsButtonChecked(int id) {
    return ::IsDlgButtonChecked(hwnd(), id) == BST_CHECKED;
}

void CSpoolsweepDlg::SetButtonCheck(int id, bool checked) {
    ::CheckDlgButton(hwnd(), id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void CSpoolsweepDlg::SetCheckStyle(int style) {
    checkList_.SetCheckStyle(style);
}

std::size_t CSpoolsweepDlg::PrinterCount() {
    return checkList_.GetCount();
}

int CSpoolsweepDlg::PrinterCheck(std::size_t index) {
    return checkList_.GetCheck(index);
}

void CSpoolsweepDlg::SetPrinterCheck(std::size_t index, int check) {
    checkList_.SetCheck(index, check);
}

int CSpoolsweepDlg::ShowMessage(std::u16string_view text, std::u16string_view caption, std::uint32_t style) {
    return ::MessageBoxW(hwnd(), Wide(text).c_str(), Wide(caption).c_str(), style);
}

void CSpoolsweepDlg::EndDialog(int result) {
    ModalDialog::EndDialog(result);
}

// One worker at a time: the previous one has sent its completion already, so waiting for it is short.
bool CSpoolsweepDlg::StartRemovalWorker() {
    WaitForWorker();
    const std::uintptr_t thread =
        ::_beginthreadex(nullptr, 0, &CSpoolsweepDlg::RemovalThreadEntry, this, 0, nullptr);
    worker_.reset(reinterpret_cast<HANDLE>(thread));  // NOLINT(performance-no-int-to-ptr)
    return static_cast<bool>(worker_);
}

void CSpoolsweepDlg::SendRemovalDone() {
    ::SendMessageW(hwnd(), WM_REMOVAL_DONE, 0, 0);
}

void CSpoolsweepDlg::OpenAbout() {
    if (openAbout_) {
        openAbout_(hwnd());
    }
}

void CSpoolsweepDlg::AddDeletedPrinter(std::u16string_view printerName) {
    const std::wstring name = Wide(printerName);
    OnInterfaceThread([this, &name] {
        ::SendDlgItemMessageW(hwnd(), dialog_id::kDeletedList, LB_ADDSTRING, 0,
                              reinterpret_cast<LPARAM>(name.c_str()));
    });
}

// Written by the interface thread before the worker started; not written again until its completion.
std::int32_t CSpoolsweepDlg::DeleteAllValue() {
    return controller_->DeleteAllValue();
}

// A message box without an owner is shown from the worker itself.
void CSpoolsweepDlg::ShowDriverKeptMessage(std::u16string driverName, std::u16string printerName) {
    if (showDriverKept_) {
        showDriverKept_(machine_.system, driverName, printerName);
    }
}

void CSpoolsweepDlg::ResetContent() {
    OnInterfaceThread([this] { checkList_.ResetContent(); });
}

void CSpoolsweepDlg::AddString(std::u16string_view line) {
    const std::wstring text = Wide(line);
    OnInterfaceThread([this, &text] { checkList_.AddString(text); });
}

std::size_t CSpoolsweepDlg::GetCount() {
    return OnInterfaceThread([this] { return checkList_.GetCount(); });
}

std::u16string CSpoolsweepDlg::GetText(std::size_t index) {
    const std::wstring text = OnInterfaceThread([this, index] { return checkList_.GetText(index); });
    return FromWide(text.c_str(), text.size());
}

int CSpoolsweepDlg::GetCheck(std::size_t index) {
    return OnInterfaceThread([this, index] { return checkList_.GetCheck(index); });
}

INT_PTR RunMainDialog(Machine& machine, HINSTANCE resources, const EngineFactory& makeEngine,
                      AboutOpener openAbout, DriverKeptNotice showDriverKept) {
    CSpoolsweepDlg dialog(machine, resources, makeEngine, std::move(openAbout), std::move(showDriverKept));
    return dialog.Run();
}

}  // namespace spoolsweep::win32
