// Installs drivers and printers and writes registry keys in a real Windows prefix (Wine's, in the test runs)
// with the calls an installer would use. The contract tests' world and the end-to-end fixture both prepare
// their prefixes with it. Test tooling only; it never ships.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32/unique_handles.h"
#include "platform/win32/windows_api.h"

namespace spoolsweep::prefix {

// Every helper here that fails says on stderr which call failed, on what, and with which Win32 error (the
// error also stays the thread's last error).
// Writes "CALL(SUBJECT) failed: Win32 error N, MESSAGE" to stderr and answers false.
bool ReportFailure(const wchar_t* call, const std::wstring& subject, DWORD error);

// The driver files' names inside the environment's driver folder.
struct DriverFiles {
    std::wstring driver;
    std::wstring data;
    std::wstring config;
};

// The driver folder of an environment ("Windows x64"), with its closing backslash; empty when refused.
std::wstring DriverFolder(const std::wstring& environment);

[[nodiscard]] bool WriteBytes(const std::wstring& path, std::string_view contents);

// Writes the three files (each holding `contents`) into the driver folder and adds a version-3 driver that
// names them.
[[nodiscard]] bool InstallDriver(const std::wstring& environment, const std::wstring& name,
                                 const DriverFiles& files, std::string_view contents);

// Adds a printer with the WinPrint processor on `port`, shared under `share` unless it is empty, with a
// comment and location unless they are empty.
[[nodiscard]] bool InstallPrinter(const std::wstring& name, const std::wstring& driver,
                                  const std::wstring& share, const std::wstring& port,
                                  const std::wstring& comment = {}, const std::wstring& location = {});

// Opens a key with every right, creating it when missing; empty when refused.
win32::unique_hkey CreateKey(HKEY root, const std::wstring& path);

// Under Wine a link a user plants is a Unix symbolic link: CreateSymbolicLinkW is a stub there (it reports
// success and makes nothing) and junctions cannot be set. These make the Linux calls themselves (symlink,
// unlink, rmdir) on the Unix names of Windows paths. False when not under Wine or when a call failed.
[[nodiscard]] bool MakeUnixSymbolicLink(const std::wstring& link, const std::wstring& target);
// Removes a name as `rm -rf` does: a link itself, never what it leads to.
[[nodiscard]] bool RemoveUnixName(const std::wstring& path);

}  // namespace spoolsweep::prefix
