#include "removal/removal_index.h"

#include <utility>

namespace spoolsweep {
namespace {

const std::vector<PrinterRecord>& NoPrinters() {
    static const std::vector<PrinterRecord> none;
    return none;
}

}  // namespace

RemovalIndex::RemovalIndex(const std::vector<PrinterRecord>& printers,
                           const std::vector<PrinterRecord>& cataloguePrinters,
                           DataFileReader readDataFileBase)
    : printers_(printers), catalogue_(cataloguePrinters), readDataFileBase_(std::move(readDataFileBase)) {
    for (std::size_t i = 0; i < printers.size(); ++i) {
        usersByDriver_[printers[i].driverName].push_back(i);
        if (printers[i].serverName.empty()) {
            local_.push_back(i);
        }
    }
    for (const PrinterRecord& record : cataloguePrinters) {
        auto [it, added] = facts_.try_emplace(record.driverName);
        catalogueFacts_.push_back(&it->second);
        if (added) {
            driversByFoldedName_[FoldName(record.driverName)].push_back(record.driverName);
        }
    }
}

RemovalIndex::RemovalIndex(const std::vector<PrinterRecord>& printers)
    : RemovalIndex(printers, NoPrinters(), {}) {}

void RemovalIndex::ForgetDriverFacts(std::u16string_view name) {
    auto sameNames = driversByFoldedName_.find(FoldName(name));
    if (sameNames == driversByFoldedName_.end()) {
        return;
    }
    for (const std::u16string& driver : sameNames->second) {
        facts_[driver].tamber.reset();
    }
}

bool RemovalIndex::HasOtherUnselectedUser(std::size_t index) const {
    if (index >= printers_.size()) {
        return false;
    }
    const auto users = usersByDriver_.find(printers_[index].driverName);
    if (users == usersByDriver_.end()) {
        return false;
    }
    for (const std::size_t j : users->second) {
        if (j != index && j < printers_.size() && printers_[j].selected == 0) {
            return true;
        }
    }
    return false;
}

bool RemovalIndex::IsOneLocalPrinterLeft() const {
    std::size_t left = 0;
    for (const std::size_t i : local_) {
        if (i < printers_.size() && printers_[i].deleted == 0 && ++left > 1) {
            return false;
        }
    }
    return left == 1;
}

std::int32_t RemovalIndex::TamberPrintersLeft() {
    std::int32_t left = 0;
    for (std::size_t entry = 0; entry < catalogueFacts_.size() && entry < catalogue_.size(); ++entry) {
        // A driver whose printers are all gone no longer counts, whatever its data file; it is not read.
        if (catalogue_[entry].deleted != 0) {
            continue;
        }
        DriverFacts& facts = *catalogueFacts_[entry];
        if (!facts.tamber.has_value()) {
            // A data file that cannot be read, whatever the error, reads as an empty name: no Tamber driver.
            facts.tamber = HasNorvelPrefix(readDataFileBase_(catalogue_[entry].driverName));
        }
        left += *facts.tamber ? 1 : 0;
    }
    return left;
}

// The registry compares key names without regard to case. ASCII letters fold exactly; every other unit folds
// to one marker, so names that might be equal to the registry always meet (at worst a name is read again).
std::u16string RemovalIndex::FoldName(std::u16string_view name) {
    std::u16string folded(name);
    for (char16_t& unit : folded) {
        if (unit >= u'a' && unit <= u'z') {
            unit = static_cast<char16_t>(unit - u'a' + u'A');
        } else if (unit > 0x7F) {
            unit = 0xFFFF;
        }
    }
    return folded;
}

}  // namespace spoolsweep
