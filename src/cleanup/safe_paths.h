#pragma once
// Paths built from names the spooler or the registry hand us (printer, driver, data-file and hardware-ID
// names). Such a name is only ever a piece of one file or key name: it cannot climb out of the folder or key
// a pattern names, pick another drive, or act as a wildcard. Nothing legitimate is lost: no Windows file
// name holds * or ?, and no key name holds a backslash.
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace spoolsweep {

// True when `name` holds none of the characters Windows forbids in a file name: \ / : * ? " < > | and the
// control characters (" < > act as wildcards in a directory search, : opens a stream or names a drive).
[[nodiscard]] bool IsPlainFileNamePart(std::u16string_view name);

// `folder` + "\" + `tail`, with each "%s" of `tail` taking the next of `names` in turn. Nothing when a name
// is not a plain file-name part, when `folder` is empty, when a component of the tail is empty, "." or "..",
// or ends in a dot or space (Windows would strip those and match another name), or when the path does not fit
// in 260 units with its terminating null. The tail's own text (wildcards included) is trusted.
[[nodiscard]] std::optional<std::u16string> BuildPathInFolder(
    std::u16string_view folder, std::u16string_view tail, std::initializer_list<std::u16string_view> names);

// `parent` + "\" + `name` for a key deletion: nothing when `name` could name `parent` itself or a key beside
// it: when, past its leading backslashes (a connection's "\\server\printer" keeps them), it is empty or
// has an empty, "." or ".." component.
[[nodiscard]] std::optional<std::u16string> BuildSubkeyPath(std::u16string_view parent,
                                                            std::u16string_view name);

}  // namespace spoolsweep
