#include "spooler/printer_catalogue.h"

#include "platform/win_errors.h"

namespace spoolsweep {
namespace {

constexpr std::uint32_t kLocalAndConnections = kPrinterEnumLocal | kPrinterEnumConnections;
constexpr std::u16string_view kNorvelPrefix = u"NORVEL";

// A name longer than its field is cut, not skipped: the printer stays in every list, so the administrator
// still sees it and an option over all printers still reaches it.
std::u16string CopyIntoField(const std::optional<std::u16string>& name) {
    if (!name) {
        return {};
    }
    return name->substr(0, kNameFieldChars);
}

// toupper under the "C" locale, which the program never changes: only a to z change.
char16_t UpperAscii(char16_t unit) {
    return (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
}

}  // namespace

PrinterRecord::PrinterRecord(const std::optional<std::u16string>& server,
                             const std::optional<std::u16string>& printer,
                             const std::optional<std::u16string>& driver,
                             const std::optional<std::u16string>& share)
    : serverName(CopyIntoField(server)),
      printerName(CopyIntoField(printer)),
      driverName(CopyIntoField(driver)),
      shareName(CopyIntoField(share)) {}

std::vector<PrinterRecord> EnumerateInstalledPrinters(Spooler& spooler) {
    EnumResult<PrinterInfo> sizing = spooler.EnumPrinters(kLocalAndConnections, 0);
    if (sizing.bytesNeeded == 0) {
        return {};  // no printers, or the spooler could not answer
    }
    EnumResult<PrinterInfo> listing = spooler.EnumPrinters(kLocalAndConnections, sizing.bytesNeeded);
    // A printer added between the two calls makes the buffer too small. One more call with the new size
    // keeps that printer from hiding the whole list; a spooler that keeps growing gets no third chance.
    if (!listing.ok && listing.error == win_error::kInsufficientBuffer && listing.bytesNeeded > 0) {
        listing = spooler.EnumPrinters(kLocalAndConnections, listing.bytesNeeded);
    }
    std::vector<PrinterRecord> records;
    if (!listing.ok) {
        return records;
    }
    records.reserve(listing.entries.size());
    for (const PrinterInfo& info : listing.entries) {
        records.emplace_back(info.serverName, info.printerName, info.driverName, info.shareName);
    }
    return records;
}

bool HasNorvelPrefix(std::u16string_view name) {
    if (name.size() < kNorvelPrefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < kNorvelPrefix.size(); ++i) {
        if (UpperAscii(name[i]) != kNorvelPrefix[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace spoolsweep
