#include "ui/win32/check_list_box.h"

#include <algorithm>
#include <vector>

#include "ui/win32/window.h"

namespace spoolsweep::win32 {
namespace {

// The box's side and the room around it, in pixels.
constexpr int kBoxSide = 13;
constexpr int kBoxMargin = 2;
constexpr int kLinePadding = 2;

}  // namespace

CCheckListBox::~CCheckListBox() {
    if (list_ != nullptr) {
        ::RemoveWindowSubclass(list_, &CCheckListBox::SubclassProcedure, 0);
    }
}

// The list asks its dialog for the line height while it is created, before this object is attached; the
// height is therefore set here, from the font the dialog has given the list since.
void CCheckListBox::Attach(HWND list) {
    list_ = list;
    ::SetWindowSubclass(list_, &CCheckListBox::SubclassProcedure, 0, reinterpret_cast<DWORD_PTR>(this));
    ::SendMessageW(list_, LB_SETITEMHEIGHT, 0, MAKELPARAM(ItemHeight(), 0));
}

void CCheckListBox::ResetContent() {
    ::SendMessageW(list_, LB_RESETCONTENT, 0, 0);
}

void CCheckListBox::AddString(const std::wstring& line) {
    ::SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
}

std::size_t CCheckListBox::GetCount() const {
    const LRESULT count = ::SendMessageW(list_, LB_GETCOUNT, 0, 0);
    return count > 0 ? static_cast<std::size_t>(count) : 0;
}

std::wstring CCheckListBox::GetText(std::size_t index) const {
    const LRESULT length = ::SendMessageW(list_, LB_GETTEXTLEN, index, 0);
    if (length <= 0) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = ::SendMessageW(list_, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return text;
}

int CCheckListBox::GetCheck(std::size_t index) const {
    const LRESULT data = ::SendMessageW(list_, LB_GETITEMDATA, index, 0);
    return data == LB_ERR ? 0 : static_cast<int>(data);
}

void CCheckListBox::SetCheck(std::size_t index, int check) {
    ::SendMessageW(list_, LB_SETITEMDATA, index, check);
    RECT line{};
    if (::SendMessageW(list_, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&line)) != LB_ERR) {
        ::InvalidateRect(list_, &line, FALSE);
    }
}

void CCheckListBox::MeasureItem(MEASUREITEMSTRUCT& item) const {
    item.itemHeight = static_cast<UINT>(ItemHeight());
}

void CCheckListBox::DrawItem(const DRAWITEMSTRUCT& item) const {
    HDC dc = item.hDC;
    RECT text = item.rcItem;
    if (item.itemID == static_cast<UINT>(-1)) {  // an empty list with the focus
        if ((item.itemState & ODS_FOCUS) != 0) {
            ::DrawFocusRect(dc, &text);
        }
        return;
    }
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;

    ::FillRect(dc, &item.rcItem, ::GetSysColorBrush(COLOR_WINDOW));
    RECT box = CheckBoxRect(item.rcItem);
    UINT boxState = DFCS_BUTTONCHECK | DFCS_FLAT;
    if (item.itemData == 1) {
        boxState |= DFCS_CHECKED;
    }
    if (disabled) {
        boxState |= DFCS_INACTIVE;
    }
    ::DrawFrameControl(dc, &box, DFC_BUTTON, boxState);

    text.left = box.right + kBoxMargin;
    ::FillRect(dc, &text, ::GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    const int textColor = disabled ? COLOR_GRAYTEXT : (selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
    ::SetTextColor(dc, ::GetSysColor(textColor));
    ::SetBkMode(dc, TRANSPARENT);
    const std::wstring line = GetText(item.itemID);
    ::DrawTextW(dc, line.c_str(), static_cast<int>(line.size()), &text,
                DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
    if ((item.itemState & ODS_FOCUS) != 0) {
        ::DrawFocusRect(dc, &text);
    }
}

LRESULT CALLBACK CCheckListBox::SubclassProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                                  UINT_PTR /*id*/, DWORD_PTR self) {
    auto* box = reinterpret_cast<CCheckListBox*>(self);  // NOLINT(performance-no-int-to-ptr): set by Attach
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:  // the second click of a quick pair toggles again
            if (box->OnClick(message, wParam, lParam)) {
                return 0;
            }
            break;
        case WM_KEYDOWN:
            if (wParam == VK_SPACE && box->checkStyle_ == BS_AUTOCHECKBOX) {
                box->ToggleSelectedLines();
                return 0;
            }
            break;
        case WM_CHAR:
            // Every line begins with a blank: the list's own search for a typed blank would move the
            // selection to the next line.
            if (wParam == L' ') {
                return 0;
            }
            break;
        case WM_NCDESTROY:
            ::RemoveWindowSubclass(window, &CCheckListBox::SubclassProcedure, 0);
            box->list_ = nullptr;
            break;
        default:
            break;
    }
    return ::DefSubclassProc(window, message, wParam, lParam);
}

bool CCheckListBox::OnClick(UINT message, WPARAM keys, LPARAM point) {
    if (checkStyle_ != BS_AUTOCHECKBOX) {
        return false;
    }
    const LRESULT hit = ::SendMessageW(list_, LB_ITEMFROMPOINT, 0, point);
    if (HIWORD(hit) != 0) {
        return false;
    }
    const std::size_t index = LOWORD(hit);
    RECT line{};
    if (::SendMessageW(list_, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&line)) == LB_ERR) {
        return false;
    }
    const POINT at{static_cast<short>(LOWORD(point)), static_cast<short>(HIWORD(point))};
    RECT box = CheckBoxRect(line);
    box.right += kBoxMargin;  // the whole column left of the text
    box.top = line.top;
    box.bottom = line.bottom;
    if (::PtInRect(&box, at) == FALSE) {
        return false;
    }
    ::SetFocus(list_);
    const int check = GetCheck(index) == 1 ? 0 : 1;
    // A click on the box of a selected line sets every selected line alike; on another line it checks that
    // line, which the list then selects as for any click.
    if (IsSelected(index)) {
        SetCheckOfSelection(check);
    } else {
        SetCheck(index, check);
        ::DefSubclassProc(list_, message, keys, point);
    }
    NotifyCheckChange();
    return true;
}

// The selected lines all take the opposite of the caret line's check.
void CCheckListBox::ToggleSelectedLines() {
    if (::SendMessageW(list_, LB_GETSELCOUNT, 0, 0) <= 0) {
        return;
    }
    const LRESULT caret = ::SendMessageW(list_, LB_GETCARETINDEX, 0, 0);
    const int check = caret >= 0 && GetCheck(static_cast<std::size_t>(caret)) == 1 ? 0 : 1;
    SetCheckOfSelection(check);
    NotifyCheckChange();
}

void CCheckListBox::SetCheckOfSelection(int check) {
    const LRESULT count = ::SendMessageW(list_, LB_GETSELCOUNT, 0, 0);
    if (count <= 0) {
        return;
    }
    std::vector<int> selected(static_cast<std::size_t>(count));
    const LRESULT got = ::SendMessageW(list_, LB_GETSELITEMS, static_cast<WPARAM>(count),
                                       reinterpret_cast<LPARAM>(selected.data()));
    selected.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    for (int index : selected) {
        SetCheck(static_cast<std::size_t>(index), check);
    }
}

void CCheckListBox::NotifyCheckChange() const {
    const int id = ::GetDlgCtrlID(list_);
    ::SendMessageW(::GetParent(list_), WM_COMMAND, MAKEWPARAM(id, kClbnChkChange),
                   reinterpret_cast<LPARAM>(list_));
}

int CCheckListBox::ItemHeight() const {
    WindowDc dc(list_);
    const LRESULT fontHandle = ::SendMessageW(list_, WM_GETFONT, 0, 0);
    const auto font = reinterpret_cast<HGDIOBJ>(fontHandle);  // NOLINT(performance-no-int-to-ptr)
    TEXTMETRICW metrics{};
    if (font != nullptr) {
        SelectedObject selected(dc.get(), font);
        ::GetTextMetricsW(dc.get(), &metrics);
    } else {
        ::GetTextMetricsW(dc.get(), &metrics);
    }
    return std::max(static_cast<int>(metrics.tmHeight), kBoxSide) + kLinePadding;
}

// The box sits at the line's left, centred vertically.
RECT CCheckListBox::CheckBoxRect(const RECT& line) const {
    const int top = line.top + (line.bottom - line.top - kBoxSide) / 2;
    return {line.left + kBoxMargin, top, line.left + kBoxMargin + kBoxSide, top + kBoxSide};
}

bool CCheckListBox::IsSelected(std::size_t index) const {
    return ::SendMessageW(list_, LB_GETSEL, index, 0) > 0;
}

}  // namespace spoolsweep::win32
