#pragma once
// CCheckListBox: a check box at the left of every line of an owner-draw fixed list box with strings, made by
// subclassing the template's list box. The check state of a line is its item data (0 or 1), so a line added
// with LB_ADDSTRING starts unchecked and the state moves with the line when the list sorts. A click on a
// line's box, or the space bar on the selected lines, toggles the check and sends the dialog WM_COMMAND with
// kClbnChkChange from the list's id. Used on the list's own thread only.
#include <cstddef>
#include <string>

#include "platform/win32/windows_api.h"

namespace spoolsweep::win32 {

// The check-change notification. It must differ from every LBN_ code, since the list (LBS_NOTIFY) also
// reports selection changes (LBN_SELCHANGE is 1) through the same WM_COMMAND.
inline constexpr WORD kClbnChkChange = 40;

class CCheckListBox {
  public:
    CCheckListBox() = default;
    ~CCheckListBox();
    CCheckListBox(const CCheckListBox&) = delete;
    CCheckListBox& operator=(const CCheckListBox&) = delete;

    // Takes over the list box: its messages come here first, and its lines get the height of the box.
    void Attach(HWND list);
    [[nodiscard]] HWND hwnd() const noexcept { return list_; }

    // BS_AUTOCHECKBOX lets clicks and the space bar toggle; any other style leaves the checks to the program.
    void SetCheckStyle(int style) { checkStyle_ = style; }

    void ResetContent();
    void AddString(const std::wstring& line);
    [[nodiscard]] std::size_t GetCount() const;
    [[nodiscard]] std::wstring GetText(std::size_t index) const;
    [[nodiscard]] int GetCheck(std::size_t index) const;
    void SetCheck(std::size_t index, int check);

    // WM_MEASUREITEM and WM_DRAWITEM, which the list sends its dialog.
    void MeasureItem(MEASUREITEMSTRUCT& item) const;
    void DrawItem(const DRAWITEMSTRUCT& item) const;

  private:
    static LRESULT CALLBACK SubclassProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                              UINT_PTR id, DWORD_PTR self);
    // True when the click landed on a line's box and was handled.
    bool OnClick(UINT message, WPARAM keys, LPARAM point);
    void ToggleSelectedLines();
    void SetCheckOfSelection(int check);
    void NotifyCheckChange() const;
    [[nodiscard]] int ItemHeight() const;
    [[nodiscard]] RECT CheckBoxRect(const RECT& line) const;
    [[nodiscard]] bool IsSelected(std::size_t index) const;

    HWND list_ = nullptr;
    int checkStyle_ = BS_AUTOCHECKBOX;
};

}  // namespace spoolsweep::win32
