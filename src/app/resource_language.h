#pragma once
// The dialog mode's language: a print server's language file names it, else the system locale does, and a
// resource library beside the program named after it serves the dialog's resources. Every failure leaves the
// program's own (English) resources in use, silently.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/system.h"

namespace spoolsweep {

inline constexpr std::u16string_view kServerLanguageFile = u"e:\\norvel\\server\\lcdstr\\current.lang";

// The library suffix of the first "serverlang=" line whose code the table lists; nothing when the file
// cannot be opened for updating or no line names a listed code.
[[nodiscard]] std::optional<std::u16string> ReadServerLanguage(Files& files);
// Where the program's own extension stands: from the last dot of the file name, or the end when there is
// none (a blank after the dot ends the extension, as the shell's path functions have it).
[[nodiscard]] std::size_t FindExtension(std::u16string_view path);
// Chooses the language and makes its library the resource module; the library's handle (0: none loaded).
[[nodiscard]] Handle SelectResourceLanguage(Files& files, System& system);

}  // namespace spoolsweep
