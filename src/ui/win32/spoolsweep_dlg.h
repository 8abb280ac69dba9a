#pragma once
// CSpoolsweepDlg: the one window of the dialog mode, a modal dialog from template 102. Its decisions are
// MainDialogController's; this class turns messages into controller calls and serves the controller's view,
// and the removal engine's views from the worker thread. Every window is touched only by the interface
// thread: what the worker asks of the dialog goes there in a message sent to the dialog.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "platform/machine.h"
#include "platform/win32/unique_handles.h"
#include "platform/win32/windows_api.h"
#include "removal/removal_view.h"
#include "ui/main_dialog_controller.h"
#include "ui/win32/check_list_box.h"
#include "ui/win32/window.h"

namespace spoolsweep::win32 {

// Makes the dialog's removal engine with the dialog's two views; called once, before the dialog opens.
using EngineFactory =
    std::function<std::unique_ptr<DialogRemovalEngine>(Machine&, RemovalDialogView*, CheckListView*)>;
// Opens one about window over the dialog.
using AboutOpener = std::function<void(HWND parent)>;
// Shows string 105 with the driver's and the printer's name, caption 102, OK, no owner window; called on the
// worker thread.
using DriverKeptNotice =
    std::function<void(System&, std::u16string_view driverName, std::u16string_view printerName)>;

// The worker's completion: sent, never posted, so that the worker waits while the dialog refills its list.
inline constexpr UINT WM_REMOVAL_DONE = WM_USER + 1;

class CSpoolsweepDlg final : public ModalDialog,
                             private MainDialogView,
                             private RemovalDialogView,
                             private CheckListView {
  public:
    CSpoolsweepDlg(Machine& machine, HINSTANCE resources, const EngineFactory& makeEngine,
                   AboutOpener openAbout, DriverKeptNotice showDriverKept);
    // Waits for a worker that has sent its completion but not yet ended.
    ~CSpoolsweepDlg() override;
    CSpoolsweepDlg(const CSpoolsweepDlg&) = delete;
    CSpoolsweepDlg& operator=(const CSpoolsweepDlg&) = delete;

    // Runs the dialog modally; its result, or -1 when it could not run.
    INT_PTR Run();

  protected:
    std::optional<INT_PTR> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    std::optional<INT_PTR> OnCommand(int id, int code);
    std::optional<INT_PTR> OnPaint();
    [[nodiscard]] bool IsWorkerCompletion() const;
    static unsigned __stdcall RemovalThreadEntry(void* dialog);
    void WaitForWorker();

    // Runs a call on the interface thread and returns its result: directly there, from the worker by a
    // message sent to the dialog, which returns once the call has run.
    template <class Call>
    auto OnInterfaceThread(Call&& call) {
        using Result = std::invoke_result_t<Call&>;
        if constexpr (std::is_void_v<Result>) {
            const std::function<void()> run = std::forward<Call>(call);
            SendToInterfaceThread(run);
        } else {
            Result result{};
            const std::function<void()> run = [&result, &call] { result = call(); };
            SendToInterfaceThread(run);
            return result;
        }
    }
    void SendToInterfaceThread(const std::function<void()>& run);

    // MainDialogView.
    bool HasSystemMenu() override;
    void AppendSystemMenuItem(int commandId, std::u16string_view text) override;
    void SetIcon(bool big) override;
    PixelRect WindowRect() override;
    PixelRect ClientRect() override;
    PixelRect ControlRect(int id) override;
    void ResizeWindow(int width, int height) override;
    void MoveControl(int id, const PixelRect& rect) override;
    void ShowControl(int id, bool show) override;
    void SetControlText(int id, std::u16string_view text) override;
    void FocusControl(int id) override;
    void EnableControl(int id, bool enable) override;
    bool IsButtonChecked(int id) override;
    void SetButtonCheck(int id, bool checked) override;
    void SetCheckStyle(int style) override;
    std::size_t PrinterCount() override;
    int PrinterCheck(std::size_t index) override;
    void SetPrinterCheck(std::size_t index, int check) override;
    int ShowMessage(std::u16string_view text, std::u16string_view caption, std::uint32_t style) override;
    void EndDialog(int result) override;
    bool StartRemovalWorker() override;
    void SendRemovalDone() override;
    void OpenAbout() override;

    // RemovalDialogView, for the engine on the worker thread.
    void AddDeletedPrinter(std::u16string_view printerName) override;
    std::int32_t DeleteAllValue() override;
    void ShowDriverKeptMessage(std::u16string driverName, std::u16string printerName) override;

    // CheckListView, for the engine on either thread.
    void ResetContent() override;
    void AddString(std::u16string_view line) override;
    std::size_t GetCount() override;
    std::u16string GetText(std::size_t index) override;
    int GetCheck(std::size_t index) override;

    Machine& machine_;
    HINSTANCE resources_;
    HICON icon_;  // shared icon from LoadIconW: never destroyed
    AboutOpener openAbout_;
    DriverKeptNotice showDriverKept_;
    CCheckListBox checkList_;
    unique_handle worker_;
    std::unique_ptr<DialogRemovalEngine> engine_;
    std::unique_ptr<MainDialogController> controller_;  // none when no engine was made
};

// The dialog mode: runs the main dialog modally from `resources` (dialog 102, icon 128) and returns its
// result. The string table is read through machine.system.
INT_PTR RunMainDialog(Machine& machine, HINSTANCE resources, const EngineFactory& makeEngine,
                      AboutOpener openAbout, DriverKeptNotice showDriverKept);

}  // namespace spoolsweep::win32
