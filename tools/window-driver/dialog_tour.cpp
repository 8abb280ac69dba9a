// Walks Spoolsweep.exe's dialog mode as an administrator would, and says on the console what it sees: the
// start-up warning, the printers listed, the printers it checks, every question asked during the removal
// (answered OK), the lists afterwards, and the about window. For the demo and the README's pictures:
//   dialog_tour SPOOLSWEEP.exe [--stages DIR] PRINTER...
// With --stages, at each picture-worthy moment it creates DIR/NAME and waits until DIR/NAME.done exists (at
// most 30 s), so that a script can take the screen: "dialog" (the list), "after" (the lists after the
// removal, expanded), "about" (the about window over the dialog).
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "resource.h"
#include "window_driver.h"

namespace spoolsweep::uitest {
namespace {

std::wstring g_stages;

void Say(const std::wstring& text) {
    std::fwprintf(stdout, L"%ls\n", text.c_str());
    std::fflush(stdout);
}

void SayList(const wchar_t* title, HWND list) {
    Say(title);
    for (const std::wstring& line : ListLines(list)) {
        Say(L"    [" + line + L"]");
    }
}

// A Linux path as Wine's drive Z: sees it.
std::wstring WindowsPath(std::wstring path) {
    if (!path.empty() && path.front() == L'/') {
        path = L"Z:" + path;
    }
    for (wchar_t& unit : path) {
        unit = unit == L'/' ? L'\\' : unit;
    }
    return path;
}

void Stage(const std::wstring& name) {
    if (g_stages.empty()) {
        return;
    }
    const std::wstring marker = WindowsPath(g_stages + L"/" + name);
    win32::unique_handle created(::CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
    const std::wstring done = marker + L".done";
    static_cast<void>(WaitUntil([&] { return ::GetFileAttributesW(done.c_str()) != INVALID_FILE_ATTRIBUTES; },
                                std::chrono::seconds(30)));
}

int Fail(const std::wstring& what) {
    Say(L"dialog_tour: " + what);
    return 1;
}

int Tour(const std::wstring& exe, const std::vector<std::wstring>& toCheck) {
    Program program(L"\"" + exe + L"\"");
    HWND warning = WaitForMessageBox(program);
    if (warning == nullptr) {
        return Fail(L"no start-up warning");
    }
    Say(L"message box \"" + Text(warning) + L"\": " + MessageBoxText(warning));
    Say(L"  -> OK");
    PressButton(warning, IDOK);
    HWND dialog = WaitForDialogWith(program, IDC_PRINTER_LIST);
    if (dialog == nullptr) {
        return Fail(L"no dialog");
    }
    HWND printers = ::GetDlgItem(dialog, IDC_PRINTER_LIST);
    static_cast<void>(WaitUntil([&] { return !ListLines(printers).empty(); }));
    SayList(L"printers listed:", printers);
    Stage(L"dialog");

    const std::vector<std::wstring> lines = ListLines(printers);
    for (const std::wstring& name : toCheck) {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i] == L" " + name) {
                const RECT line = ListItemScreenRect(printers, static_cast<int>(i));
                ClickAt({line.left + 8, (line.top + line.bottom) / 2});
                static_cast<void>(WaitUntil([&] { return ListItemData(printers)[i] == 1; }));
                Say(L"checked: " + name);
            }
        }
    }
    Say(L"pressed: Delete the Selected Printers");
    PressButton(dialog, IDC_DELETE);
    // Every question of the removal is answered OK until the dialog is usable again.
    HWND deleteButton = ::GetDlgItem(dialog, IDC_DELETE);
    static_cast<void>(
        WaitUntil([&] { return ::IsWindowEnabled(deleteButton) == FALSE; }, std::chrono::seconds(5)));
    while (::IsWindowEnabled(deleteButton) == FALSE && program.Running()) {
        for (HWND box : program.Windows(L"#32770")) {
            if (box != dialog && ::IsWindowVisible(box) != FALSE && ::GetDlgItem(box, 0xFFFF) != nullptr) {
                Say(L"message box \"" + Text(box) + L"\": " + MessageBoxText(box));
                Say(L"  -> OK");
                PressButton(box, IDOK);
                static_cast<void>(WaitUntil([&] { return ::IsWindowVisible(box) == FALSE; }));
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    PressButton(dialog, IDC_EXPAND);
    static_cast<void>(WaitUntil([&] { return Text(::GetDlgItem(dialog, IDC_EXPAND)) == L"-"; }));
    SayList(L"printers listed after the removal:", printers);
    SayList(L"deleted printers:", ::GetDlgItem(dialog, IDC_DELETED_LIST));
    Stage(L"after");

    PressButton(dialog, IDM_ABOUTBOX);
    if (!program.WaitForWindows(L"SplashScreenExClass").empty()) {
        Say(L"about window open");
        Stage(L"about");
    }
    PressButton(dialog, IDOK);
    static_cast<void>(WaitUntil([&] { return !program.Running(); }));
    Say(program.Running() ? L"still running" : L"pressed: Exit; Spoolsweep ended");
    return 0;
}

}  // namespace
}  // namespace spoolsweep::uitest

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: dialog_tour SPOOLSWEEP.exe [--stages DIR] PRINTER...\n");
        return 2;
    }
    std::vector<std::wstring> printers;
    for (int i = 2; i < argc; ++i) {
        if (std::wstring(argv[i]) == L"--stages" && i + 1 < argc) {
            spoolsweep::uitest::g_stages = argv[++i];
        } else {
            printers.emplace_back(argv[i]);
        }
    }
    return spoolsweep::uitest::Tour(argv[1], printers);
}
