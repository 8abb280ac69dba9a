#pragma once
// Every decision of the main dialog, CSpoolsweepDlg: what a check change, a button or the completion of a
// removal does, which message box comes with which text, style and caption, which controls are disabled and
// in what order, and the layout arithmetic. The Win32 dialog turns messages into calls of this controller and
// serves its view; host tests serve the view with a fake.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/system.h"
#include "removal/removal_view.h"

namespace spoolsweep {

// Control and command ids of dialog template 102, and the results the dialog ends with.
namespace dialog_id {
inline constexpr int kOk = 1;  // also the Exit button
inline constexpr int kCancel = 2;
inline constexpr int kNo = 7;
inline constexpr int kAbout = 16;  // the About button and the system menu's About command
inline constexpr int kPrinterList = 1000;
inline constexpr int kDelete = 1001;
inline constexpr int kDeleteAll = 1002;
inline constexpr int kDeletedList = 1004;
inline constexpr int kExpand = 1005;
inline constexpr int kDeletedLabel = 1008;
}  // namespace dialog_id

// Message box styles of the dialog (the win32 side checks them against the Windows constants).
inline constexpr std::uint32_t kMbOkCancelExclamationDefaultCancel = 0x131;
inline constexpr std::uint32_t kMbOkCancelStopDefaultCancel = 0x111;
// BS_AUTOCHECKBOX: the printer list's check boxes toggle when clicked.
inline constexpr int kAutoCheckBoxStyle = 3;

// A rectangle in pixels, right and bottom exclusive, as Windows gives them.
struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    [[nodiscard]] int Width() const { return right - left; }
    [[nodiscard]] int Height() const { return bottom - top; }
};

// What the controller asks of the dialog window. Called on the interface thread only, except
// SendRemovalDone, which the worker calls.
class MainDialogView {
  public:
    virtual ~MainDialogView() = default;

    // The system menu: whether the dialog has one; appending adds a separator, then the string item.
    [[nodiscard]] virtual bool HasSystemMenu() = 0;
    virtual void AppendSystemMenuItem(int commandId, std::u16string_view text) = 0;
    // WM_SETICON with the dialog's icon: big (1) or small (0).
    virtual void SetIcon(bool big) = 0;

    [[nodiscard]] virtual PixelRect WindowRect() = 0;
    [[nodiscard]] virtual PixelRect ClientRect() = 0;
    // A control's window rectangle in the dialog's client coordinates.
    [[nodiscard]] virtual PixelRect ControlRect(int id) = 0;
    // New size, same position, placed at the top of the Z order.
    virtual void ResizeWindow(int width, int height) = 0;
    // Moves a control (client coordinates) and repaints it.
    virtual void MoveControl(int id, const PixelRect& rect) = 0;
    virtual void ShowControl(int id, bool show) = 0;
    virtual void SetControlText(int id, std::u16string_view text) = 0;
    virtual void FocusControl(int id) = 0;
    virtual void EnableControl(int id, bool enable) = 0;
    [[nodiscard]] virtual bool IsButtonChecked(int id) = 0;
    virtual void SetButtonCheck(int id, bool checked) = 0;

    // The printer check list (control 1000).
    virtual void SetCheckStyle(int style) = 0;
    [[nodiscard]] virtual std::size_t PrinterCount() = 0;
    [[nodiscard]] virtual int PrinterCheck(std::size_t index) = 0;
    virtual void SetPrinterCheck(std::size_t index, int check) = 0;

    // A message box owned by the dialog; the button pressed.
    virtual int ShowMessage(std::u16string_view text, std::u16string_view caption, std::uint32_t style) = 0;
    virtual void EndDialog(int result) = 0;
    // Starts the one removal worker, which runs RemovalThreadProc; false when no thread could be started.
    [[nodiscard]] virtual bool StartRemovalWorker() = 0;
    // Sends (never posts) WM_REMOVAL_DONE to the dialog: returns once OnRemovalDone has run.
    virtual void SendRemovalDone() = 0;
    // Opens one further about window over the dialog.
    virtual void OpenAbout() = 0;
};

class MainDialogController {
  public:
    MainDialogController(MainDialogView& view, System& system, DialogRemovalEngine& engine);

    // Menu, icons, layout, check style and the list; false when the dialog has ended already (no printer,
    // or Cancel on the start-up warning).
    [[nodiscard]] bool OnInitDialog();
    // True when the command was the About command; every other one is the default procedure's.
    [[nodiscard]] bool OnSysCommand(std::uint32_t command);
    void OnChkChangePrinterList();
    void OnBnClickedDeleteAll();
    void OnBnClickedDelete();
    void OnBnClickedExpand();
    void OnBnClickedAbout();
    // Exit (IDOK) and the close requests (IDCANCEL: the close box, Escape, the system menu's Close).
    void OnOK();
    void OnCancel();

    // The worker's body: the removal, then the completion sent to the dialog.
    void RemovalThreadProc();
    // The completion, on the interface thread while the worker waits in its send.
    void OnRemovalDone();

    void UpdateLayout();
    // Items of the printer list whose check state is exactly 1.
    [[nodiscard]] std::size_t CountCheckedPrinters();

    // m_bDeleteAll, which the worker reads: written before the worker starts and after it has finished.
    [[nodiscard]] std::int32_t DeleteAllValue() const { return m_bDeleteAll; }
    [[nodiscard]] bool IsRemoving() const { return removing_; }

  private:
    // The data exchange: true takes control 1002's state into m_bDeleteAll, false puts it back.
    void UpdateData(bool saveAndValidate);
    void EnableRemovalControls(bool enable);
    void SetAllPrinterChecks(int check);
    int ShowMessage(std::u16string_view text, std::uint32_t style);
    void EndOrDefer(int result);

    MainDialogView& view_;
    System& system_;
    DialogRemovalEngine& engine_;
    std::int32_t m_bDeleteAll = 0;
    std::int32_t m_bExpanded = 0;
    bool removing_ = false;
    std::optional<int> deferredEnd_;
};

// Where OnPaint draws the icon of a minimized dialog: centred in the client rectangle.
struct IconOrigin {
    int x = 0;
    int y = 0;
};
[[nodiscard]] IconOrigin CenterIcon(const PixelRect& client, int iconWidth, int iconHeight);

}  // namespace spoolsweep
