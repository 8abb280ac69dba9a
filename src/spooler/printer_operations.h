#pragma once
// Spooler operations on one printer at a time: open it, test its queue, delete it or a connection to it, and
// list and delete its forms together with the registry entries the spooler keeps for them. Best effort:
// failures are left as the spooler left them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "platform/spooler.h"
#include "platform/system.h"

namespace spoolsweep {

// Form names longer than this are not listed (see EnumPrinterForms).
inline constexpr std::size_t kFormNameMaxChars = 255;
// Where the spooler keeps the forms: one value per form, and from Vista on one key per form.
inline constexpr std::u16string_view kFormsKey = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Forms";

struct FormRecord {
    std::u16string name;  // at most kFormNameMaxChars units
    std::uint32_t flags = kFormUser;
    std::uint32_t deletable = 1;  // 0: the form must stay
};

using FormList = std::vector<FormRecord>;

// The named printer, or the default printer when no name is given, opened with all access; a null handle
// when it cannot be opened.
[[nodiscard]] PrinterHandle OpenPrinterByName(Spooler& spooler,
                                              std::optional<std::u16string_view> printerName);
// True when at least one job is queued to the printer; false also when it cannot be opened.
[[nodiscard]] bool HasQueuedJobs(Spooler& spooler, std::u16string_view printerName);
void DeletePrinterByName(Spooler& spooler, std::u16string_view printerName);
void DeletePrinterConnectionByName(Spooler& spooler, std::u16string_view connectionName);
// The user and printer forms the printer knows, in the spooler's order, each deletable.
[[nodiscard]] FormList EnumPrinterForms(Spooler& spooler, std::u16string_view printerName);
// Every listed form, with its registry entries.
void DeleteListedForms(Spooler& spooler, Registry& registry, System& system, std::u16string_view printerName,
                       const FormList& forms);
// As DeleteListedForms, but only the forms still deletable and not built-in.
void DeleteDeletableForms(Spooler& spooler, Registry& registry, System& system,
                          std::u16string_view printerName, const FormList& forms);
// The form's value under the spooler's Forms key and, from Vista on, its own key there.
void DeleteFormRegistryEntries(Registry& registry, System& system, std::u16string_view formName);

}  // namespace spoolsweep
