#include "spooler/printer_operations.h"

#include "platform/structured_exception.h"
#include "spooler/two_call_enumeration.h"

namespace spoolsweep {
namespace {

constexpr std::uint32_t kMaxJobsAsked = 10;

// The default printer's name in the spooler's two calls: the length needed, then the name. Empty when there
// is no default printer.
std::u16string QueryDefaultPrinterName(Spooler& spooler) {
    const DefaultPrinterResult length = spooler.GetDefaultPrinter(0);
    if (length.charsNeeded == 0) {
        return {};
    }
    const DefaultPrinterResult named = spooler.GetDefaultPrinter(length.charsNeeded);
    return named.ok ? named.name : std::u16string{};
}

bool IsListedForDeletion(const FormRecord& form) {
    return form.deletable == 1 && form.flags != kFormBuiltin;
}

void DeleteFormAndRegistryEntries(Spooler& spooler, Registry& registry, System& system, Handle printer,
                                  std::u16string_view formName) {
    DeleteFormRegistryEntries(registry, system, formName);
    static_cast<void>(spooler.DeleteForm(printer, formName));
}

}  // namespace

PrinterHandle OpenPrinterByName(Spooler& spooler, std::optional<std::u16string_view> printerName) {
    std::u16string defaultName;
    if (!printerName) {
        defaultName = QueryDefaultPrinterName(spooler);
        // Without a default printer nothing is opened: OpenPrinterW with no name would hand out the print
        // server itself, and the deleting callers must never act on that.
        if (defaultName.empty()) {
            return PrinterHandle({}, {&spooler});
        }
        printerName = defaultName;
    }
    const HandleResult opened = spooler.OpenPrinter(*printerName, kPrinterAllAccess);
    return PrinterHandle(opened.error == 0 ? opened.handle : Handle{}, {&spooler});
}

bool HasQueuedJobs(Spooler& spooler, std::u16string_view printerName) {
    const PrinterHandle printer = OpenPrinterByName(spooler, printerName);
    if (!printer) {
        return false;
    }
    const auto jobs = EnumerateInTwoCalls(
        [&](std::uint32_t bytes) { return spooler.EnumJobs(printer.get(), 0, kMaxJobsAsked, bytes); });
    return !jobs.empty();
}

// This toolchain has no structured-exception translator (mingw lacks _set_se_translator), so here a CSE comes
// only from an MSVC build's translator or from a seam that raises one; the catch sites serve those and stay.
void DeletePrinterByName(Spooler& spooler, std::u16string_view printerName) {
    const PrinterHandle printer = OpenPrinterByName(spooler, printerName);
    try {
        // Also with a null handle: the spooler then fails the call without effect.
        static_cast<void>(spooler.DeletePrinter(printer.get()));
    } catch (const CSE&) {
        // A fault inside the spooler leaves this printer as it is; the removal goes on.
    }
}

void DeletePrinterConnectionByName(Spooler& spooler, std::u16string_view connectionName) {
    try {
        static_cast<void>(spooler.DeletePrinterConnection(connectionName));
    } catch (const CSE&) {
        // As in DeletePrinterByName.
    }
}

FormList EnumPrinterForms(Spooler& spooler, std::u16string_view printerName) {
    const PrinterHandle printer = OpenPrinterByName(spooler, printerName);
    FormList forms;
    if (!printer) {
        return forms;
    }
    const auto entries =
        EnumerateInTwoCalls([&](std::uint32_t bytes) { return spooler.EnumForms(printer.get(), bytes); });
    for (const FormInfo& form : entries) {
        const bool builtIn = form.flags != kFormUser && (form.flags & kFormPrinter) == 0;
        // A name too long for the record is skipped rather than cut: a cut name would address another form
        // (and another registry value), or none, so deleting by it can only miss or hit the wrong one.
        if (builtIn || form.name.size() > kFormNameMaxChars) {
            continue;
        }
        forms.push_back(FormRecord{form.name, form.flags, 1});
    }
    return forms;
}

void DeleteListedForms(Spooler& spooler, Registry& registry, System& system, std::u16string_view printerName,
                       const FormList& forms) {
    const PrinterHandle printer = OpenPrinterByName(spooler, printerName);
    for (const FormRecord& form : forms) {
        DeleteFormAndRegistryEntries(spooler, registry, system, printer.get(), form.name);
    }
}

void DeleteDeletableForms(Spooler& spooler, Registry& registry, System& system,
                          std::u16string_view printerName, const FormList& forms) {
    const PrinterHandle printer = OpenPrinterByName(spooler, printerName);
    for (const FormRecord& form : forms) {
        if (IsListedForDeletion(form)) {
            DeleteFormAndRegistryEntries(spooler, registry, system, printer.get(), form.name);
        }
    }
}

void DeleteFormRegistryEntries(Registry& registry, System& system, std::u16string_view formName) {
    const HandleResult opened = registry.OpenKeyEx(kHkeyLocalMachine, kFormsKey, kKeyAllAccess);
    if (opened.error == 0 && opened.handle != 0) {
        const RegistryKey forms(opened.handle, {&registry});
        static_cast<void>(registry.DeleteValue(forms.get(), formName));
    }
    // The per-form key exists from Vista on. A name that is empty or holds a backslash would address the
    // Forms key itself or another key below it, so it deletes no key.
    if (system.OsMajorVersion() >= kVistaMajorVersion && !formName.empty() &&
        formName.find(u'\\') == std::u16string_view::npos) {
        std::u16string formKey(kFormsKey);
        formKey.append(u"\\").append(formName);
        static_cast<void>(registry.DeleteTree(kHkeyLocalMachine, formKey));
    }
}

}  // namespace spoolsweep
