// The dialog mode of Spoolsweep.exe on a real window system (Wine with a display), driven as an
// administrator's automation would: find the windows, read the lists and texts, click.
//   dialog_window_tests SPOOLSWEEP.exe WINE_FIXTURE.exe
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "prefix_setup.h"

#include "resource.h"
#include "window_driver.h"

namespace spoolsweep::uitest {
namespace {

std::wstring g_exe;
std::wstring g_fixture;

constexpr wchar_t kCaption[] = L"Spoolsweep";

// The local printers of this prefix's spooler, sorted.
std::vector<std::wstring> InstalledPrinters() {
    DWORD needed = 0;
    DWORD count = 0;
    ::EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 4, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    std::vector<std::wstring> names;
    if (needed == 0 ||
        !::EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 4, buffer.data(), needed, &needed, &count)) {
        return names;
    }
    const auto* printers = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        names.emplace_back(printers[i].pPrinterName);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void DeleteAllPrinters() {
    for (const std::wstring& name : InstalledPrinters()) {
        HANDLE printer = nullptr;
        PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
        if (::OpenPrinterW(const_cast<LPWSTR>(name.c_str()), &printer, &access)) {
            ::DeletePrinter(printer);
            ::ClosePrinter(printer);
        }
    }
}

// Runs one fixture step and fails the test when it fails twice. A step that fails is run once more, saying
// so on stderr beside the fixture's own report of the failed call (this process shares its stderr): CI met a
// driver step that ended with nothing reported, as prepare-office's steps have (see there), and a step that
// failed for a reason of its own fails the second time too.
void RunFixture(const std::wstring& arguments) {
    for (int attempt = 1;; ++attempt) {
        Program fixture(Quoted(g_fixture) + L" " + arguments);
        ASSERT_TRUE(WaitUntil([&] { return !fixture.Running(); }, std::chrono::milliseconds(60000)));
        const DWORD code = fixture.ExitCode();
        if (code == 0) {
            return;
        }
        std::fprintf(stderr, "fixture %ls: ended with exit code %lu (attempt %d)\n", arguments.c_str(), code,
                     attempt);
        ASSERT_LT(attempt, 2) << "a fixture step failed twice: see stderr";
    }
}

// A small office: a plain printer, two printers sharing a Tamber driver and one with a Tamber driver of its
// own.
void ArrangeOffice() {
    DeleteAllPrinters();
    RunFixture(L"driver \"Generic Laser Driver\" GENLASER.PPD");
    RunFixture(L"driver \"Tamber PS Driver\" NorvelAB12.PPD");
    RunFixture(L"driver \"Tamber Lobby Driver\" NorvelCD34.PPD");
    RunFixture(L"printer \"Tamber Office\" \"Tamber PS Driver\"");
    RunFixture(L"printer \"Tamber Studio\" \"Tamber PS Driver\"");
    RunFixture(L"printer \"Plain Laser\" \"Generic Laser Driver\"");
    RunFixture(L"printer \"Tamber Lobby\" \"Tamber Lobby Driver\"");
}

// How many pixels show a system colour.
std::ptrdiff_t CountColour(const Pixels& pixels, int sysColour) {
    const COLORREF colour = ::GetSysColor(sysColour);
    const std::uint32_t rgb = (GetRValue(colour) << 16U) | (GetGValue(colour) << 8U) | GetBValue(colour);
    return std::count(pixels.values.begin(), pixels.values.end(), rgb);
}

const std::vector<std::wstring> kOffice{L"Plain Laser", L"Tamber Lobby", L"Tamber Office", L"Tamber Studio"};

class DialogMode : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(ArrangeOffice());
        ASSERT_EQ(InstalledPrinters(), kOffice);
    }

    // Starts the program, answers its start-up warning with OK and waits for the dialog; `warning` receives
    // the warning's text.
    HWND StartPastTheWarning(const std::wstring& exe, std::wstring* warning = nullptr) {
        program_.emplace(Quoted(exe));
        HWND box = WaitForMessageBox(*program_);
        if (box == nullptr) {
            return nullptr;
        }
        if (warning != nullptr) {
            *warning = MessageBoxText(box);
        }
        PressButton(box, IDOK);
        return WaitForDialogWith(*program_, IDC_PRINTER_LIST);
    }

    std::optional<Program> program_;
};

TEST_F(DialogMode, RemovesACheckedPrinterAndListsWhatIsLeft) {
    HWND dialog = StartPastTheWarning(g_exe);
    ASSERT_NE(dialog, nullptr);
    HWND printers = ::GetDlgItem(dialog, IDC_PRINTER_LIST);
    HWND deleted = ::GetDlgItem(dialog, IDC_DELETED_LIST);
    ASSERT_TRUE(WaitUntil([&] { return ListLines(printers).size() == kOffice.size(); }));
    EXPECT_EQ(ListLines(printers), (std::vector<std::wstring>{L" Plain Laser", L" Tamber Lobby",
                                                              L" Tamber Office", L" Tamber Studio"}));

    // A click on the check box of the printer with a Tamber driver of its own.
    RECT line = ListItemScreenRect(printers, 1);
    ClickAt({line.left + 8, (line.top + line.bottom) / 2});
    ASSERT_TRUE(WaitUntil([&] { return ListItemData(printers) == std::vector<LRESULT>{0, 1, 0, 0}; }));
    PressButton(dialog, IDC_DELETE);

    // The question about the driver's presets, captioned with the driver's name.
    HWND presets = WaitForMessageBox(*program_, L"Tamber Lobby Driver");
    ASSERT_NE(presets, nullptr);
    // While the removal asks, the list, Delete, Exit and Delete All are locked; About, "+" and the lower list
    // are not.
    const auto enabled = [&] {
        std::vector<bool> states;
        for (int id : {IDC_PRINTER_LIST, IDC_DELETE, IDOK, IDC_DELETE_ALL, IDM_ABOUTBOX, IDC_EXPAND,
                       IDC_DELETED_LIST}) {
            states.push_back(::IsWindowEnabled(::GetDlgItem(dialog, id)) != FALSE);
        }
        return states;
    };
    EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false, false, true, true, true}))
        << "the controls are not locked as they should be during a removal";
    // Delete had the focus: disabled, it handed the focus on to the next control, "+", and the default push
    // button followed.
    EXPECT_EQ(Style(::GetDlgItem(dialog, IDC_EXPAND)) & BS_TYPEMASK, static_cast<DWORD>(BS_DEFPUSHBUTTON))
        << "the focus did not move on from the disabled Delete button";
    PressButton(presets, IDOK);

    ASSERT_TRUE(WaitUntil([&] { return ListLines(deleted) == std::vector<std::wstring>{L"Tamber Lobby"}; }));
    // The dialog unlocks its controls one after another: wait for all of them.
    EXPECT_TRUE(WaitUntil([&] { return enabled() == std::vector<bool>(7, true); }))
        << "a control stays locked after the removal";
    EXPECT_EQ(ListLines(printers),
              (std::vector<std::wstring>{L" Plain Laser", L" Tamber Office", L" Tamber Studio"}));
    EXPECT_EQ(ListItemData(printers), (std::vector<LRESULT>{0, 0, 0}));
    EXPECT_EQ(InstalledPrinters(),
              (std::vector<std::wstring>{L"Plain Laser", L"Tamber Office", L"Tamber Studio"}));

    // Expanding resizes the window and shows the lower list; the layout itself is the controller's.
    const RECT collapsed = ScreenRect(dialog);
    EXPECT_FALSE(::IsWindowVisible(deleted));
    PressButton(dialog, IDC_EXPAND);
    ASSERT_TRUE(WaitUntil([&] { return Text(::GetDlgItem(dialog, IDC_EXPAND)) == L"-"; }));
    EXPECT_TRUE(::IsWindowVisible(deleted) && ::IsWindowVisible(::GetDlgItem(dialog, IDC_DELETED_LABEL)));
    EXPECT_GT(ScreenRect(dialog).bottom, collapsed.bottom);
    // Collapsed or expanded, the row of About and Exit ends a little above the dialog's bottom edge.
    const auto exitRowFits = [&] {
        RECT client{};
        ::GetClientRect(dialog, &client);
        const RECT exit = RectInParent(::GetDlgItem(dialog, IDOK));
        return exit.bottom < client.bottom && client.bottom - exit.bottom < exit.bottom - exit.top;
    };
    EXPECT_TRUE(exitRowFits()) << "the expanded dialog's height is not its frame's and its controls'";
    PressButton(dialog, IDC_EXPAND);
    ASSERT_TRUE(WaitUntil([&] { return Text(::GetDlgItem(dialog, IDC_EXPAND)) == L"+"; }));
    EXPECT_TRUE(exitRowFits()) << "the collapsed dialog's height is not its frame's and its controls'";

    PressButton(dialog, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return !program_->Running(); }));
}

// "Delete All Printer Drivers": its warning, Cancel, OK, the uncheck of one printer that clears it, the hint
// when every printer is checked by hand, and its own uncheck that clears every printer.
TEST_F(DialogMode, DeleteAllWarnsChecksEveryPrinterAndAnyUncheckClearsIt) {
    HWND dialog = StartPastTheWarning(g_exe);
    ASSERT_NE(dialog, nullptr);
    HWND printers = ::GetDlgItem(dialog, IDC_PRINTER_LIST);
    ASSERT_TRUE(WaitUntil([&] { return ListLines(printers).size() == kOffice.size(); }));
    const auto deleteAll = [&] {
        return ::SendMessageW(::GetDlgItem(dialog, IDC_DELETE_ALL), BM_GETCHECK, 0, 0);
    };
    const std::vector<LRESULT> none(kOffice.size(), 0);
    const std::vector<LRESULT> all(kOffice.size(), 1);
    struct Answer {
        int button;
        LRESULT box;
        std::vector<LRESULT> checks;
        const char* fault;
    };
    for (const Answer& answer :
         {Answer{IDCANCEL, BST_UNCHECKED, none, "Cancel on the warning leaves Delete All set"},
          Answer{IDOK, BST_CHECKED, all, "OK on the warning does not check every printer"}}) {
        PressButton(dialog, IDC_DELETE_ALL);
        HWND warning = WaitForMessageBox(*program_, kCaption);
        ASSERT_NE(warning, nullptr);
        EXPECT_EQ(
            MessageBoxText(warning),
            L"Please note that ALL Printer Drivers will be deleted from the system. Click OK to continue.");
        PressButton(warning, answer.button);
        EXPECT_TRUE(WaitUntil([&] {
            return deleteAll() == answer.box && ListItemData(printers) == answer.checks;
        })) << answer.fault;
    }

    const RECT line = ListItemScreenRect(printers, 2);
    ClickAt({line.left + 8, (line.top + line.bottom) / 2});
    EXPECT_TRUE(WaitUntil([&] {
        return ListItemData(printers) == std::vector<LRESULT>{1, 1, 0, 1};
    })) << "an uncheck under Delete All changes the other printers";
    EXPECT_EQ(deleteAll(), BST_UNCHECKED) << "Delete All stays armed after an uncheck";
    ClickAt({line.left + 8, (line.top + line.bottom) / 2});
    HWND hint = WaitForMessageBox(*program_, kCaption);
    ASSERT_NE(hint, nullptr) << "checking the last printer by hand shows no hint";
    EXPECT_EQ(MessageBoxText(hint).rfind(L"In case all the Installed Printers need to be deleted", 0), 0U);
    PressButton(hint, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return ListItemData(printers) == all; }));
    EXPECT_EQ(deleteAll(), BST_UNCHECKED) << "checking every printer by hand sets Delete All";

    PressButton(dialog, IDC_DELETE_ALL);
    HWND warning = WaitForMessageBox(*program_, kCaption);
    ASSERT_NE(warning, nullptr);
    PressButton(warning, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return deleteAll() == BST_CHECKED; }));
    PressButton(dialog, IDC_DELETE_ALL);
    EXPECT_TRUE(WaitUntil([&] { return ListItemData(printers) == none; }))
        << "unchecking Delete All leaves printers checked";
}

// Delete with nothing checked asks for a choice and starts nothing; the space bar then checks the selected
// line, and the blank it types does not move the selection.
TEST_F(DialogMode, NothingCheckedAsksForAChoiceAndTheSpaceBarChecksTheSelectedLine) {
    HWND dialog = StartPastTheWarning(g_exe);
    ASSERT_NE(dialog, nullptr);
    HWND printers = ::GetDlgItem(dialog, IDC_PRINTER_LIST);
    ASSERT_TRUE(WaitUntil([&] { return ListLines(printers).size() == kOffice.size(); }));
    PressButton(dialog, IDC_DELETE);
    HWND box = WaitForMessageBox(*program_, kCaption);
    ASSERT_NE(box, nullptr) << "Delete with nothing checked asks nothing";
    EXPECT_EQ(MessageBoxText(box), L"No Printer has been selected for deletion, please select it.");
    PressButton(box, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return program_->Windows(L"#32770").size() == 1; }));
    EXPECT_TRUE(::IsWindowEnabled(printers) && ::IsWindowEnabled(::GetDlgItem(dialog, IDC_DELETE)))
        << "Delete with nothing checked locked the dialog";
    EXPECT_EQ(InstalledPrinters(), kOffice);

    ::SendMessageW(printers, LB_SETSEL, TRUE, 1);
    ::PostMessageW(printers, WM_KEYDOWN, VK_SPACE, 0);
    ::PostMessageW(printers, WM_CHAR, L' ', 0);
    EXPECT_TRUE(WaitUntil([&] {
        return ListItemData(printers) == std::vector<LRESULT>{0, 1, 0, 0};
    })) << "the space bar does not check the selected line";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the blank is handled after the key
    EXPECT_EQ(::SendMessageW(printers, LB_GETCARETINDEX, 0, 0), 1) << "a typed blank moves the selection";

    // What the list shows: the new check mark at once, plain lines in the window's text colour, the selected
    // line in the highlight colours.
    const auto linePixels = [&](int index, bool box) {
        const RECT line = ListItemScreenRect(printers, index);
        return CaptureScreen(box ? RECT{line.left, line.top, line.left + 15, line.bottom}
                                 : RECT{line.left + 17, line.top, line.right, line.bottom});
    };
    EXPECT_TRUE(WaitUntil([&] { return linePixels(1, true) != linePixels(0, true); }))
        << "the check the space bar set is not drawn";
    const Pixels plain = linePixels(0, false);
    const Pixels selected = linePixels(1, false);
    EXPECT_GT(CountColour(plain, COLOR_WINDOWTEXT), 0) << "a plain line is not drawn in the text colour";
    EXPECT_EQ(CountColour(plain, COLOR_GRAYTEXT), 0) << "a line of the enabled list is drawn grey";
    EXPECT_GT(CountColour(selected, COLOR_HIGHLIGHT) * 2, static_cast<std::ptrdiff_t>(selected.values.size()))
        << "the selected line is not highlighted";
    EXPECT_GT(CountColour(selected, COLOR_HIGHLIGHTTEXT), 0)
        << "the selected line's text is not in its colour";

    // A click on the box of a selected line sets every selected line alike.
    ::SendMessageW(printers, LB_SETSEL, FALSE, -1);
    ::SendMessageW(printers, LB_SETSEL, TRUE, 0);
    ::SendMessageW(printers, LB_SETSEL, TRUE, 2);
    const RECT third = ListItemScreenRect(printers, 2);
    ClickAt({third.left + 8, (third.top + third.bottom) / 2});
    EXPECT_TRUE(WaitUntil([&] {
        return ListItemData(printers) == std::vector<LRESULT>{1, 1, 1, 0};
    })) << "a click on a selected line's box does not set the other selected lines";
}

// The texts the dialog shows at start in each language it ships.
struct LanguageTexts {
    const wchar_t* suffix;
    const wchar_t* selectPrinters;
    const wchar_t* deleteAll;
    const wchar_t* deleteSelected;
    const wchar_t* about;
    const wchar_t* exit;
    const wchar_t* warningStart;
};

constexpr LanguageTexts kLanguages[] = {
    {L"ENU", L"Please select Printers to Delete from the Installed list below:",
     L"Delete All Printer Drivers", L"Delete the Selected Printers", L"About", L"Exit",
     L"Please close all the applications"},
    {L"DEU", L"Bitte wählen Sie die zu löschenden Drucker in der Liste der installierten Drucker aus:",
     L"Alle Druckertreiber löschen", L"Ausgewählte Drucker löschen", L"Info", L"Beenden",
     L"Bitte schließen Sie alle Anwendungen"},
    {L"FRA", L"Sélectionnez dans la liste ci-dessous les imprimantes installées à supprimer :",
     L"Supprimer tous les pilotes d'imprimante", L"Supprimer les imprimantes sélectionnées", L"À propos",
     L"Quitter", L"Veuillez fermer toutes les applications"},
};

std::wstring Environment(const wchar_t* name) {
    std::wstring value(32767, L'\0');  // the longest a variable can be
    const DWORD length = ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    value.resize(length < value.size() ? length : 0);
    return value;
}

// What a planted library's entry point leaves in the working folder when it runs (tests/e2e/planted_dll.cpp).
constexpr wchar_t kPlantedMarker[] = L"planted-dll-loaded";

// The language the test run expects (SPOOLSWEEP_EXPECT_LANGUAGE, English by default: the system locale of a
// plain run has no library). With SPOOLSWEEP_EXE_ALONE=1 the program runs from a folder of its own, where no
// language library stands beside it; with SPOOLSWEEP_PLANTED_LIBRARY set, that folder holds the library it
// names as the expected language's, as a user could plant it: resources and an entry point that must not run.
TEST_F(DialogMode, SpeaksTheLanguageChosenAtStart) {
    std::wstring suffix = Environment(L"SPOOLSWEEP_EXPECT_LANGUAGE");
    suffix = suffix.empty() ? L"ENU" : suffix;
    const auto* texts = std::find_if(std::begin(kLanguages), std::end(kLanguages),
                                     [&](const LanguageTexts& t) { return suffix == t.suffix; });
    ASSERT_NE(texts, std::end(kLanguages)) << "no texts for " << std::string(suffix.begin(), suffix.end());
    std::wstring exe = g_exe;
    const std::wstring planted = Environment(L"SPOOLSWEEP_PLANTED_LIBRARY");
    if (Environment(L"SPOOLSWEEP_EXE_ALONE") == L"1" || !planted.empty()) {
        std::array<wchar_t, MAX_PATH> temp{};
        ::GetTempPathW(static_cast<DWORD>(temp.size()), temp.data());
        const std::wstring folder = std::wstring(temp.data()) + L"spoolsweep-alone";
        ::CreateDirectoryW(folder.c_str(), nullptr);
        exe = folder + L"\\Spoolsweep.exe";
        ASSERT_TRUE(::CopyFileW(g_exe.c_str(), exe.c_str(), FALSE));
        const std::wstring library = folder + L"\\Spoolsweep" + suffix + L".dll";
        ::DeleteFileW(library.c_str());
        ASSERT_TRUE(planted.empty() || ::CopyFileW(planted.c_str(), library.c_str(), FALSE))
            << "cannot plant " << std::string(planted.begin(), planted.end());
        ::DeleteFileW(kPlantedMarker);
    }

    std::wstring warning;
    HWND dialog = StartPastTheWarning(exe, &warning);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(warning.rfind(texts->warningStart, 0), 0U) << "warning in " << texts->suffix;
    EXPECT_EQ(Text(dialog), kCaption);
    HWND label = nullptr;
    for (HWND child : Children(dialog)) {
        label = ::GetDlgCtrlID(child) == IDC_STATIC && label == nullptr ? child : label;
    }
    EXPECT_EQ(Text(label), texts->selectPrinters);
    EXPECT_EQ(Text(::GetDlgItem(dialog, IDC_DELETE_ALL)), texts->deleteAll);
    EXPECT_EQ(Text(::GetDlgItem(dialog, IDC_DELETE)), texts->deleteSelected);
    EXPECT_EQ(Text(::GetDlgItem(dialog, IDM_ABOUTBOX)), texts->about);
    EXPECT_EQ(Text(::GetDlgItem(dialog, IDOK)), texts->exit);
    EXPECT_EQ(::GetFileAttributesW(kPlantedMarker), INVALID_FILE_ATTRIBUTES)
        << "code of the language library ran in the program";
}

// The user Temp folder as the program finds it (HKCU\Environment "Temp", expanded).
std::wstring UserTempFolder() {
    win32::unique_hkey key;
    std::array<wchar_t, MAX_PATH> stored{};
    DWORD bytes = sizeof(stored) - sizeof(wchar_t);
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Environment", 0, KEY_READ, key.put()) != ERROR_SUCCESS ||
        ::RegQueryValueExW(key.get(), L"Temp", nullptr, nullptr, reinterpret_cast<BYTE*>(stored.data()),
                           &bytes) != ERROR_SUCCESS) {
        return {};
    }
    std::array<wchar_t, MAX_PATH> expanded{};
    const DWORD length = ::ExpandEnvironmentStringsW(stored.data(), expanded.data(), MAX_PATH);
    return length > 0 && length <= MAX_PATH ? std::wstring(expanded.data()) : std::wstring();
}

std::string ReadAll(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<unreadable>";
}

// "Delete All Printer Drivers" empties and removes the user Temp folder's "Trackwell". When a user has made
// that name a link to a folder elsewhere, the folder it leads to keeps every file.
TEST_F(DialogMode, DeleteAllLeavesTheFolderATrackwellLinkLeadsToAlone) {
    const std::wstring temp = UserTempFolder();
    ASSERT_FALSE(temp.empty());
    const std::wstring link = temp + L"\\Trackwell";
    const std::wstring precious = L"C:\\spoolsweep-precious";
    const std::vector<std::pair<std::wstring, std::string>> files{{L"system-file.dll", "MZ system file"},
                                                                  {L"settings.ini", "[keep]\r\nall=1\r\n"}};
    ASSERT_TRUE(prefix::RemoveUnixName(link) && prefix::RemoveUnixName(precious));
    ASSERT_TRUE(::CreateDirectoryW(precious.c_str(), nullptr));
    for (const auto& [name, contents] : files) {
        ASSERT_TRUE(prefix::WriteBytes(precious + L"\\" + name, contents));
    }
    ASSERT_TRUE(prefix::MakeUnixSymbolicLink(link, precious)) << "the link was not planted";
    ASSERT_NE(::GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0U);

    HWND dialog = StartPastTheWarning(g_exe);
    ASSERT_NE(dialog, nullptr);
    PressButton(dialog, IDC_DELETE_ALL);
    HWND confirm = WaitForMessageBox(*program_);
    ASSERT_NE(confirm, nullptr);
    PressButton(confirm, IDOK);
    const std::vector<LRESULT> allChecked(kOffice.size(), 1);
    ASSERT_TRUE(
        WaitUntil([&] { return ListItemData(::GetDlgItem(dialog, IDC_PRINTER_LIST)) == allChecked; }));
    PressButton(dialog, IDC_DELETE);
    // Every question of the removal is answered OK until the dialog is usable again.
    HWND deleteButton = ::GetDlgItem(dialog, IDC_DELETE);
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(deleteButton) == FALSE; }));
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (HWND box : program_->Windows(L"#32770")) {
                if (box != dialog && ::IsWindowVisible(box) != FALSE &&
                    ::GetDlgItem(box, 0xFFFF) != nullptr) {
                    PressButton(box, IDOK);
                }
            }
            return ::IsWindowEnabled(deleteButton) != FALSE;
        },
        std::chrono::seconds(60)));
    EXPECT_TRUE(InstalledPrinters().empty());

    for (const auto& [name, contents] : files) {
        EXPECT_EQ(ReadAll(precious + L"\\" + name), contents) << std::string(name.begin(), name.end());
    }
    PressButton(dialog, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return !program_->Running(); }));
    EXPECT_TRUE(prefix::RemoveUnixName(link) && prefix::RemoveUnixName(precious));
}

}  // namespace
}  // namespace spoolsweep::uitest

int wmain(int argc, wchar_t** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc >= 3) {
        spoolsweep::uitest::g_exe = argv[1];
        spoolsweep::uitest::g_fixture = argv[2];
    }
    return RUN_ALL_TESTS();
}
