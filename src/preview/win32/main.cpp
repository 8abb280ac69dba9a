// The Windows entry of SpoolsweepPreview.exe: reads this machine through the real seams without changing it,
// runs Spoolsweep's removal on the copy, and prints what the removal would change.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/win32/own_file.h"
#include "platform/win32/unique_handles.h"
#include "platform/win32/win32_seams.h"
#include "platform/win32/windows_api.h"
#include "platform/win32/winspool_library.h"
#include "preview/backup.h"
#include "preview/machine_json.h"
#include "preview/preview.h"
#include "preview/snapshot.h"

namespace {

using namespace spoolsweep;

std::string ToUtf8(const wchar_t* text) {
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(bytes > 0 ? static_cast<std::size_t>(bytes) : 1, '\0');
    if (bytes > 0) {
        static_cast<void>(
            ::WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), bytes, nullptr, nullptr));
    }
    narrow.pop_back();  // the terminator
    return narrow;
}

void Write(FILE* stream, const std::string& text) {
    static_cast<void>(std::fwrite(text.data(), 1, text.size(), stream));
    static_cast<void>(std::fflush(stream));
}

// The working folder, where Spoolsweep.exe would write its command log, and Spoolsweep.exe's path: beside
// this program.
preview::SnapshotContext ReadContext() {
    preview::SnapshotContext context;
    std::wstring buffer(32768, L'\0');
    const DWORD folderChars = ::GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    context.currentDirectory.assign(buffer.begin(), buffer.begin() + folderChars);
    const DWORD pathChars = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    std::u16string path(buffer.begin(), buffer.begin() + pathChars);
    context.programPath = path.substr(0, path.rfind(u'\\') + 1) + u"Spoolsweep.exe";
    context.ownProcessId = ::GetCurrentProcessId();
    return context;
}

std::wstring Widen(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<std::size_t>(::MultiByteToWideChar(
        CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), static_cast<int>(wide.size()))));
    return wide;
}

// A saved snapshot; throws MachineFileError when it cannot be read or is no machine file.
sim::MachineJson ReadSnapshot(const std::string& file) {
    FILE* in = ::_wfopen(Widen(file).c_str(), L"rb");
    if (in == nullptr) {
        throw sim::MachineFileError("cannot read " + file);
    }
    std::string text;
    char buffer[65536];
    for (std::size_t read; (read = std::fread(buffer, 1, sizeof buffer, in)) > 0;) {
        text.append(buffer, read);
    }
    static_cast<void>(std::fclose(in));
    sim::MachineJson json = sim::ParseJsonOrDiscard(text);
    if (json.is_discarded()) {
        throw sim::MachineFileError(file + " is not JSON");
    }
    return json;
}

// Prints what changed between two saved snapshots: before and after a removal, say.
int CompareSnapshots(const preview::PreviewOptions& options) {
    try {
        const auto changes = preview::CompareSnapshots(ReadSnapshot(options.compareBefore),
                                                       ReadSnapshot(options.compareAfter));
        static_cast<void>(::SetConsoleOutputCP(CP_UTF8));
        Write(stdout,
              options.json ? preview::ChangesJson(changes).dump(2) + "\n" : preview::FormatChanges(changes));
        return 0;
    } catch (const sim::MachineFileError& error) {
        Write(stderr, std::string("SpoolsweepPreview: ") + error.what() + "\n");
        return 2;
    }
}

// Writes the snapshot to the plain file FILE names, never through a link or a second name planted there (the
// preview may run as an administrator in a folder a user can write to); the reason when it is not written.
std::string SaveSnapshot(sim::SimMachine& snapshot, const std::string& file) {
    const std::wstring wide = Widen(file);
    const win32::OwnFile out = win32::OpenOwnFileForWrite(
        std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()),
        win32::OwnFileWrite::Replace);
    if (out.refused) {
        return file + " is a link or a file with more than one name; nothing was written";
    }
    const std::string text = sim::DumpMachine(snapshot).dump(2) + "\n";
    DWORD written = 0;
    const bool saved =
        out.file &&
        ::WriteFile(out.file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size();
    return saved ? std::string() : "cannot write " + file;
}

// FOLDER as a full path, as the current folder completes it.
std::u16string FullPath(const std::string& folder) {
    const std::wstring wide = Widen(folder);
    std::wstring full(32768, L'\0');
    const DWORD chars =
        ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    full.resize(chars < full.size() ? chars : 0);
    return {full.begin(), full.end()};
}

// Puts back what a backup holds and this machine lacks, or says what it would.
int RestoreBackup(const preview::PreviewOptions& options) {
    win32::Win32Machine machine;
    const preview::LoadedBackup loaded =
        preview::LoadBackup(machine.machine().files, FullPath(options.restoreFolder),
                            preview::ReadRestoreScope(machine.machine()));
    if (!loaded.error.empty()) {
        Write(stderr, "SpoolsweepPreview: " + loaded.error + "; nothing was put back.\n");
        return 2;
    }
    const auto lines = preview::Restore(machine.machine(), loaded.contents, options.restorePreview);
    static_cast<void>(::SetConsoleOutputCP(CP_UTF8));
    Write(stdout, options.json ? preview::RestoreJson(lines, options.restorePreview).dump(2) + "\n"
                               : preview::FormatRestore(lines, options.restorePreview));
    return 0;
}

// --run: Spoolsweep.exe, by its full path (no search), with the options the backup was taken for, in this
// console and working folder; its exit code, or 2 when it could not be started.
int RunProgram(const std::u16string& program, const std::vector<std::string>& arguments) {
    const std::u16string line = sim::BuildCommandLine(arguments);
    const std::wstring path = win32::Wide(program);
    std::wstring commandLine = win32::Wide(line);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                         &startup, &started) == FALSE) {
        Write(stderr, "SpoolsweepPreview: Spoolsweep.exe could not be started (error " +
                          std::to_string(::GetLastError()) + "); the backup is complete.\n");
        return 2;
    }
    const win32::unique_handle process(started.hProcess);
    const win32::unique_handle thread(started.hThread);
    DWORD exitCode = 2;
    if (::WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0 ||
        ::GetExitCodeProcess(process.get(), &exitCode) == FALSE) {
        Write(stderr, "SpoolsweepPreview: the end of Spoolsweep.exe could not be awaited (error " +
                          std::to_string(::GetLastError()) + ").\n");
        return 2;
    }
    // On a line of its own: Spoolsweep.exe ends its console word without a line end.
    Write(stdout, "\nSpoolsweep.exe ended with exit code " + std::to_string(exitCode) + "\n");
    return static_cast<int>(exitCode);
}

// After a complete backup, --run starts the real removal, only once the backup reads back whole.
int RunAfterBackup(Machine& machine, const preview::PreviewOptions& options, const std::u16string& folder,
                   const std::u16string& program) {
    if (const std::string refused = preview::CheckRunAfterBackup(machine, folder, program);
        !refused.empty()) {
        Write(stderr, "SpoolsweepPreview: Spoolsweep.exe is not run: " + refused + "\n");
        return 2;
    }
    Write(stdout, "the backup reads back whole; running " +
                      ToUtf8(reinterpret_cast<const wchar_t*>(program.c_str())) + "\n");
    return RunProgram(program, options.programArguments);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Before anything loads a library: no DLL is ever taken from the exe's own or the current folder.
    win32::RestrictDllSearchToSystemFolder();
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.push_back(ToUtf8(argv[i]));
    }
    preview::PreviewOptions options;
    if (const std::string error = preview::ParsePreviewArguments(arguments, options); !error.empty()) {
        Write(stderr, "SpoolsweepPreview: " + error + "\n" + preview::kPreviewUsage);
        return 2;
    }
    if (!options.compareBefore.empty()) {
        return CompareSnapshots(options);
    }
    if (!options.restoreFolder.empty()) {
        return RestoreBackup(options);
    }
    win32::Win32Machine machine;
    if (const std::uint32_t error = win32::WinSpoolLoadError(); error != 0) {
        Write(stderr, "SpoolsweepPreview cannot load winspool.drv from the Windows system folder (error " +
                          std::to_string(error) + ").\n");
        return 1;
    }
    sim::SimMachine snapshot;
    const preview::SnapshotContext context = ReadContext();
    std::vector<std::string> notes = preview::TakeSnapshot(machine.machine(), context, snapshot);
    if (!options.saveFile.empty()) {
        if (const std::string error = SaveSnapshot(snapshot, options.saveFile); !error.empty()) {
            Write(stderr, "SpoolsweepPreview: " + error + "\n");
            return 2;
        }
    }
    if (!preview::AsksForRun(options)) {
        return 0;
    }
    // The report is UTF-8; a console shows it so once told.
    static_cast<void>(::SetConsoleOutputCP(CP_UTF8));
    if (!options.backupFolder.empty()) {
        const std::u16string folder = FullPath(options.backupFolder);
        const preview::BackupRun run =
            preview::RunBackup(machine.machine(), snapshot, options, std::move(notes), folder);
        if (options.json) {
            nlohmann::ordered_json json = preview::ReportJson(run.report);
            json["backup"] = {{"folder", ToUtf8(reinterpret_cast<const wchar_t*>(folder.c_str()))},
                              {"error", run.error},
                              {"manifest", preview::ManifestJson(run.contents)}};
            Write(stdout, json.dump(2) + "\n");
        } else {
            Write(stdout,
                  preview::FormatReport(run.report) + preview::FormatBackupSummary(folder, run.contents));
        }
        if (!run.error.empty()) {
            Write(stderr, "SpoolsweepPreview: " + run.error + "\n");
            return 2;
        }
        return options.runAfterBackup
                   ? RunAfterBackup(machine.machine(), options, folder, context.programPath)
                   : 0;
    }
    const preview::PreviewReport report = preview::RunPreview(snapshot, options, std::move(notes));
    Write(stdout, options.json ? preview::ReportJson(report).dump(2) + "\n" : preview::FormatReport(report));
    return 0;
}
