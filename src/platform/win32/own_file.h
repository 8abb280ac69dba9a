#pragma once
// Writing to a file in a folder a standard user can write to, from a program that may run as an
// administrator: only the plain file the path names in its folder is ever written, never what a link or a
// second name planted there leads to.
#include <optional>
#include <string>
#include <string_view>

#include "platform/win32/unique_handles.h"

namespace spoolsweep::win32 {

enum class OwnFileWrite {
    Append,   // writes land at the end of what the file holds
    Replace,  // the file is emptied once it has passed the checks
};

struct OwnFile {
    unique_file file;      // open for writing; empty when refused or not opened
    bool refused = false;  // the name is a link, has more than one name, or is no disk file
};

// Opens path (relative paths name the current folder) without following a final link, creating the file
// when the name is free. Refused when the opened file is a reparse point, has more than one name, is no
// disk file, or when its final path is not its folder's final path and its own name: a link Wine does not
// report as one, or a junction on the way.
[[nodiscard]] OwnFile OpenOwnFileForWrite(std::u16string_view path, OwnFileWrite mode);

// True when the open file is a plain disk file with one name, no reparse point, whose final path is its
// folder's final path (the folder opened as path names it) and its own name.
[[nodiscard]] bool IsOwnPlainFile(HANDLE file, std::u16string_view path);

// True when the open file's final path is `fullPath` (letter case aside): no link anywhere on its way.
[[nodiscard]] bool IsAtPath(HANDLE file, std::u16string_view fullPath);

// GetFinalPathNameByHandleW, normalised, without the "\\?\" prefix; nothing when it fails.
[[nodiscard]] std::optional<std::u16string> FinalPathOf(HANDLE handle);

}  // namespace spoolsweep::win32
