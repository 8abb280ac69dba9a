#include "removal/removal_index.h"

#include <utility>

namespace spoolsweep {

RemovalIndex::RemovalIndex(const std::vector<PrinterRecord>& printers,
                           const std::vector<PrinterRecord>& cataloguePrinters,
                           DataFileReader readDataFileBase)
    : readDataFileBase_(std::move(readDataFileBase)) {
    for (const PrinterRecord& record : printers) {
        driverOf_.push_back(&record.driverName);
        const bool selected = record.selected != 0;
        const bool local = record.serverName.empty();
        const bool deleted = record.deleted != 0;
        selected_.push_back(selected);
        local_.push_back(local);
        deletedHere_.push_back(deleted);
        if (!selected) {
            ++unselectedByDriver_[record.driverName];
        }
        if (local && !deleted) {
            ++localLeft_;
        }
    }
    for (const PrinterRecord& record : cataloguePrinters) {
        catalogueDriver_.push_back(record.driverName);
        catalogueDeleted_.push_back(record.deleted != 0);
        auto [it, added] = facts_.try_emplace(record.driverName);
        if (record.deleted == 0) {
            ++it->second.printersLeft;
        }
        if (added) {
            driversByFoldedName_[FoldName(record.driverName)].push_back(record.driverName);
            unread_.push_back(record.driverName);
        }
    }
}

RemovalIndex::RemovalIndex(const std::vector<PrinterRecord>& printers) : RemovalIndex(printers, {}, {}) {}

void RemovalIndex::NoteSelected(std::size_t index) {
    if (index >= selected_.size() || selected_[index]) {
        return;
    }
    selected_[index] = true;
    --unselectedByDriver_[*driverOf_[index]];
}

void RemovalIndex::NoteDeleted(std::size_t index, std::size_t catalogueIndex) {
    if (index < deletedHere_.size() && !deletedHere_[index]) {
        deletedHere_[index] = true;
        if (local_[index]) {
            --localLeft_;
        }
    }
    if (catalogueIndex < catalogueDeleted_.size() && !catalogueDeleted_[catalogueIndex]) {
        catalogueDeleted_[catalogueIndex] = true;
        DriverFacts& facts = facts_[catalogueDriver_[catalogueIndex]];
        --facts.printersLeft;
        if (facts.tamber.value_or(false)) {
            --tamberLeft_;
        }
    }
}

void RemovalIndex::ForgetDriverFacts(std::u16string_view name) {
    auto sameNames = driversByFoldedName_.find(FoldName(name));
    if (sameNames == driversByFoldedName_.end()) {
        return;
    }
    for (const std::u16string& driver : sameNames->second) {
        DriverFacts& facts = facts_[driver];
        if (!facts.tamber.has_value()) {
            continue;
        }
        if (*facts.tamber) {
            tamberLeft_ -= static_cast<std::int32_t>(facts.printersLeft);
        }
        facts.tamber.reset();
        unread_.push_back(driver);
    }
}

bool RemovalIndex::HasOtherUnselectedUser(std::size_t index) const {
    auto users = unselectedByDriver_.find(*driverOf_[index]);
    std::size_t others = users == unselectedByDriver_.end() ? 0 : users->second;
    if (!selected_[index] && others > 0) {
        --others;  // the entry itself
    }
    return others > 0;
}

std::int32_t RemovalIndex::TamberPrintersLeft() {
    for (const std::u16string& driver : std::exchange(unread_, {})) {
        DriverFacts& facts = facts_[driver];
        // A driver whose printers are all gone no longer counts, whatever its data file; it is not read.
        if (facts.tamber.has_value() || facts.printersLeft == 0) {
            continue;
        }
        // A data file that cannot be read, whatever the error, reads as an empty name: no Tamber driver.
        facts.tamber = HasNorvelPrefix(readDataFileBase_(driver));
        if (*facts.tamber) {
            tamberLeft_ += static_cast<std::int32_t>(facts.printersLeft);
        }
    }
    return tamberLeft_;
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
