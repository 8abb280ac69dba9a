// The resources linked into Spoolsweep.exe, read back from the built file the way Windows reads them:
//   exe_resources_test PATH\TO\Spoolsweep.exe   (a Linux path is taken as Wine's drive Z:)
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/win32/unique_handles.h"
#include "platform/win32/windows_api.h"
#include "resource.h"

namespace {

std::wstring g_exePath;

class ExeResources : public ::testing::Test {
  protected:
    void SetUp() override {
        module_.reset(::LoadLibraryExW(g_exePath.c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
        ASSERT_TRUE(module_) << "cannot load the exe as data: " << ::GetLastError();
    }

    std::wstring String(UINT id) {
        const wchar_t* text = nullptr;
        int length = ::LoadStringW(module_.get(), id, reinterpret_cast<LPWSTR>(&text), 0);
        return length > 0 ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring();
    }

    spoolsweep::win32::unique_hmodule module_;
};

TEST_F(ExeResources, HoldsTheApplicationStrings) {
    const std::pair<UINT, std::wstring_view> strings[] = {
        {IDS_ABOUTBOX, L"&About Spoolsweep..."},
        {IDS_APP_CAPTION, L"Spoolsweep"},
        {IDS_NO_PRINTERS, L"There are no Printers installed on the system."},
        {IDS_ALL_PRINTERS_CHECKED,
         L"In case all the Installed Printers need to be deleted, please check the box - "
         L"Delete All Printer Drivers"},
        {IDS_DRIVER_KEPT,
         L"Driver- %s is being used by some other PNP Printer also,So only Printer- %s will be "
         L"deleted and underlying Driver will remain."},
        {IDS_DELETE_ALL_DRIVERS,
         L"Please note that ALL Printer Drivers will be deleted from the system. Click OK to continue."},
        {IDS_PRINTERS_BUSY,
         L"The following Printers cannot be deleted, because they still have Print Jobs queued to them.\n\n"},
        {IDS_VERSION_LABEL, L"Version:"},
        {IDS_NOTHING_SELECTED, L"No Printer has been selected for deletion, please select it."},
        {IDS_CLOSE_APPLICATIONS,
         L"Please close all the applications before proceeding to delete the Printer Driver.\nIf the "
         L"applications are closed then please press OK to continue deleting the Printer Driver else press "
         L"Cancel to abort the deletion of Printer Driver."},
        {IDS_DELETE_PRESETS,
         L"Select OK to delete the Tamber Driver and your associated presets.\nSelect Cancel to "
         L"delete only the Tamber Driver."},
    };
    for (const auto& [id, text] : strings) {
        EXPECT_EQ(String(id), text) << id;
    }
}

// Reads a DLGTEMPLATEEX: its fields in order, each string or ordinal as text ("#130" for an ordinal; the
// predefined control classes by name).
class TemplateReader {
  public:
    explicit TemplateReader(std::vector<BYTE> bytes) : bytes_(std::move(bytes)) {}
    template <class T>
    T Next() {
        T value{};
        if (at_ + sizeof(T) <= bytes_.size()) {
            std::memcpy(&value, bytes_.data() + at_, sizeof(T));
        }
        at_ += sizeof(T);
        return value;
    }
    std::wstring Text() {
        std::wstring text;
        for (WORD unit = Next<WORD>(); unit != 0; unit = Next<WORD>()) {
            if (unit == 0xFFFF && text.empty()) {
                const WORD ordinal = Next<WORD>();
                const wchar_t* classes[] = {L"Button", L"Edit", L"Static", L"ListBox"};
                return ordinal >= 0x80 && ordinal <= 0x83 ? classes[ordinal - 0x80]
                                                          : L"#" + std::to_wstring(ordinal);
            }
            text.push_back(static_cast<wchar_t>(unit));
        }
        return text;
    }
    void AlignToDword() { at_ = (at_ + 3) & ~std::size_t{3}; }

  private:
    std::vector<BYTE> bytes_;
    std::size_t at_ = 0;
};

// A DLGTEMPLATEEX's geometry as text, in order: the dialog's extended style, style, control count, place,
// size, menu, class, point size and font face; then each control's extended style, style, place, size, id and
// class; with `texts`, the caption and each control's text as well. Every translation shares the geometry.
std::vector<std::wstring> DialogGeometry(HMODULE module, bool texts = false) {
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(IDD_SPOOLSWEEP_DIALOG), RT_DIALOG);
    if (found == nullptr) {
        return {};
    }
    const auto* data = static_cast<const BYTE*>(::LockResource(::LoadResource(module, found)));
    TemplateReader dialog({data, data + ::SizeofResource(module, found)});
    std::vector<std::wstring> fields;
    const auto take = [&fields](auto value) { fields.push_back(std::to_wstring(value)); };
    take(dialog.Next<DWORD>());  // version 1 and the extended template's signature
    dialog.Next<DWORD>();        // help id
    take(dialog.Next<DWORD>());
    take(dialog.Next<DWORD>());
    const WORD controls = dialog.Next<WORD>();
    take(controls);
    for (int i = 0; i < 4; ++i) {
        take(dialog.Next<short>());
    }
    fields.push_back(dialog.Text());  // menu
    fields.push_back(dialog.Text());  // class
    const std::wstring caption = dialog.Text();
    if (texts) {
        fields.push_back(caption);
    }
    take(dialog.Next<WORD>());
    dialog.Next<DWORD>();  // weight, italic, character set
    fields.push_back(dialog.Text());
    for (WORD c = 0; c < controls; ++c) {
        dialog.AlignToDword();
        dialog.Next<DWORD>();  // help id
        take(dialog.Next<DWORD>());
        take(dialog.Next<DWORD>());
        for (int i = 0; i < 4; ++i) {
            take(dialog.Next<short>());
        }
        take(static_cast<int>(dialog.Next<DWORD>()));  // id
        fields.push_back(dialog.Text());               // class
        const std::wstring text = dialog.Text();
        if (texts) {
            fields.push_back(text);
        }
        take(dialog.Next<WORD>());  // creation data: none
    }
    return fields;
}

// Template 102 as the dialog is drawn up, written out once from its own table: a sort style dropped, a
// control moved or resized, an id or a text changed all show.
TEST_F(ExeResources, DialogTemplateHasTheDrawnUpIdsStylesPlacesAndSizes) {
    constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
    struct Control {
        DWORD style;
        short x, y, cx, cy;
        int id;
        const wchar_t* className;
        const wchar_t* text;
    };
    const Control controls[] = {
        {kChild | SS_LEFT | WS_GROUP, 9, 7, 180, 18, -1, L"Static",
         L"Please select Printers to Delete from the Installed list below:"},
        {kChild | LBS_NOTIFY | LBS_SORT | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT |
             LBS_EXTENDEDSEL | WS_VSCROLL | WS_BORDER | WS_TABSTOP,
         7, 25, 180, 84, 1000, L"ListBox", L""},
        {kChild | BS_AUTOCHECKBOX | WS_TABSTOP, 7, 115, 180, 10, 1002, L"Button",
         L"Delete All Printer Drivers"},
        {kChild | BS_PUSHBUTTON | WS_TABSTOP, 7, 131, 180, 14, 1001, L"Button",
         L"Delete the Selected Printers"},
        {kChild | BS_PUSHBUTTON | BS_CENTER | BS_VCENTER | WS_TABSTOP, 7, 152, 9, 9, 1005, L"Button", L"+"},
        {kChild | SS_LEFT | WS_GROUP, 8, 163, 180, 8, 1008, L"Static", L"List of Deleted Printer Drivers"},
        {kChild | LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | WS_TABSTOP, 7, 174,
         180, 84, 1004, L"ListBox", L""},
        {kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, 7, 265, 67, 14, 16, L"Button", L"About"},
        {kChild | BS_PUSHBUTTON | WS_TABSTOP, 120, 265, 67, 14, 1, L"Button", L"Exit"},
    };
    const DWORD style =
        WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_SHELLFONT;
    std::vector<std::wstring> expected;
    const auto add = [&expected](auto value) { expected.push_back(std::to_wstring(value)); };
    for (DWORD value : {DWORD{0xFFFF0001}, DWORD{WS_EX_APPWINDOW}, style, DWORD{std::size(controls)}}) {
        add(value);
    }
    for (short value : {0, 0, 194, 286}) {
        add(value);
    }
    expected.insert(expected.end(), {L"", L"", L"Spoolsweep", L"8", L"MS Shell Dlg"});
    for (const Control& c : controls) {
        for (DWORD value : {DWORD{0}, c.style}) {
            add(value);
        }
        for (short value : {c.x, c.y, c.cx, c.cy}) {
            add(value);
        }
        add(c.id);
        expected.insert(expected.end(), {c.className, c.text, L"0"});
    }
    EXPECT_EQ(DialogGeometry(module_.get(), true), expected)
        << "template 102 differs from the drawn-up dialog";
}

std::wstring FormatSpecifiers(const std::wstring& text) {
    std::wstring specifiers;
    for (std::size_t at = text.find(L'%'); at != std::wstring::npos && at + 1 < text.size();
         at = text.find(L'%', at + 2)) {
        specifiers += text.substr(at, 2);
    }
    return specifiers;
}

// The language libraries beside the exe: every string the dialog mode shows, translated with its format
// specifiers in order, the same dialog geometry, the icon and the about image.
TEST_F(ExeResources, LanguageLibrariesTranslateEverythingTheDialogModeShows) {
    const std::wstring folder = g_exePath.substr(0, g_exePath.find_last_of(L"\\/") + 1);
    ASSERT_GT(DialogGeometry(module_.get()).size(), 9U * 9U);
    const UINT ids[] = {IDS_ABOUTBOX,         IDS_NO_PRINTERS,        IDS_ALL_PRINTERS_CHECKED,
                        IDS_DRIVER_KEPT,      IDS_DELETE_ALL_DRIVERS, IDS_PRINTERS_BUSY,
                        IDS_NOTHING_SELECTED, IDS_CLOSE_APPLICATIONS, IDS_DELETE_PRESETS,
                        IDS_CREDITS_1,        IDS_CREDITS_2,          IDS_CREDITS_3,
                        IDS_CREDITS_4};
    for (const wchar_t* suffix : {L"DEU", L"FRA"}) {
        SCOPED_TRACE(std::string(suffix, suffix + 3));
        spoolsweep::win32::unique_hmodule library(::LoadLibraryExW(
            (folder + L"Spoolsweep" + suffix + L".dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(library);
        for (UINT id : ids) {
            const wchar_t* text = nullptr;
            const int length = ::LoadStringW(library.get(), id, reinterpret_cast<LPWSTR>(&text), 0);
            ASSERT_GT(length, 0) << id;
            const std::wstring translated(text, static_cast<std::size_t>(length));
            EXPECT_NE(translated, String(id)) << id;
            EXPECT_EQ(FormatSpecifiers(translated), FormatSpecifiers(String(id))) << id;
        }
        EXPECT_EQ(DialogGeometry(library.get()), DialogGeometry(module_.get()));
        EXPECT_NE(::FindResourceW(library.get(), MAKEINTRESOURCEW(IDR_MAINFRAME), RT_GROUP_ICON), nullptr);
        EXPECT_NE(::FindResourceW(library.get(), MAKEINTRESOURCEW(IDB_ABOUT), RT_BITMAP), nullptr);
    }
}

TEST_F(ExeResources, CarriesItsIconAndManifest) {
    EXPECT_NE(::FindResourceW(module_.get(), MAKEINTRESOURCEW(IDR_MAINFRAME), RT_GROUP_ICON), nullptr);
    HRSRC manifest = ::FindResourceW(module_.get(), MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(manifest, nullptr);
    const char* text = static_cast<const char*>(::LockResource(::LoadResource(module_.get(), manifest)));
    std::string body(text, ::SizeofResource(module_.get(), manifest));
    EXPECT_NE(body.find("level=\"requireAdministrator\""), std::string::npos);
    EXPECT_NE(body.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
}

TEST_F(ExeResources, IsVersion3_4_0_15) {
    HRSRC found = ::FindResourceW(module_.get(), MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    ASSERT_NE(found, nullptr);
    const auto* block = static_cast<const BYTE*>(::LockResource(::LoadResource(module_.get(), found)));
    std::vector<BYTE> copy(block, block + ::SizeofResource(module_.get(), found));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT size = 0;
    ASSERT_TRUE(::VerQueryValueW(copy.data(), L"\\", reinterpret_cast<void**>(&info), &size));
    const std::vector<DWORD> version = {MAKELONG(4, 3), MAKELONG(15, 0)};
    EXPECT_EQ((std::vector<DWORD>{info->dwFileVersionMS, info->dwFileVersionLS}), version);
    EXPECT_EQ((std::vector<DWORD>{info->dwProductVersionMS, info->dwProductVersionLS}), version);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: exe_resources_test PATH\\Spoolsweep.exe\n");
        return 2;
    }
    g_exePath = argv[1];
    if (!g_exePath.empty() && g_exePath.front() == L'/') {
        g_exePath = L"Z:" + g_exePath;
    }
    return RUN_ALL_TESTS();
}
