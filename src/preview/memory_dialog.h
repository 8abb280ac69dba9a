#pragma once
// The dialog's side of a removal held in memory: the printer check list, the deleted-printers list and the
// "Delete All Printer Drivers" value. spoolsweep-sim runs the dialog mode's removal on it, and tests and the
// benchmark use it as the dialog's stand-in.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system.h"
#include "removal/printer_remover.h"
#include "removal/removal_view.h"

namespace spoolsweep::sim {

class MemoryDialog : public RemovalDialogView, public CheckListView {
  public:
    struct Line {
        std::u16string text;
        int check = 0;
    };

    // The notice about a kept driver goes to this machine's message boxes, as the dialog shows it. The
    // printer list's styles as the dialog's template gives them: only kListBoxSort makes it sort.
    explicit MemoryDialog(System& system, std::uint32_t listStyle = kListBoxSort)
        : system_(system), sorted_((listStyle & kListBoxSort) != 0) {}

    // Checks the line of this printer (the line without its leading blank); false when there is none.
    bool Check(std::u16string_view printerName) {
        const auto found = std::find_if(lines.begin(), lines.end(), [&](const Line& line) {
            return !line.text.empty() && std::u16string_view(line.text).substr(1) == printerName;
        });
        if (found != lines.end()) {
            found->check = 1;
        }
        return found != lines.end();
    }
    void CheckAll() {
        for (Line& line : lines) {
            line.check = 1;
        }
    }

    void ResetContent() override { lines.clear(); }
    // A sorting list keeps its lines sorted without regard to letter case, as a list box with LBS_SORT
    // does; any other list appends.
    void AddString(std::u16string_view text) override {
        if (!sorted_) {
            lines.push_back(Line{std::u16string(text), 0});
            return;
        }
        const auto after =
            std::upper_bound(lines.begin(), lines.end(), text, [](std::u16string_view a, const Line& b) {
                return std::lexicographical_compare(
                    a.begin(), a.end(), b.text.begin(), b.text.end(),
                    [](char16_t x, char16_t y) { return Lower(x) < Lower(y); });
            });
        lines.insert(after, Line{std::u16string(text), 0});
    }
    [[nodiscard]] std::size_t GetCount() override { return lines.size(); }
    [[nodiscard]] std::u16string GetText(std::size_t index) override {
        return index < lines.size() ? lines[index].text : std::u16string();
    }
    [[nodiscard]] int GetCheck(std::size_t index) override {
        return index < lines.size() ? lines[index].check : 0;
    }

    void AddDeletedPrinter(std::u16string_view printerName) override { deleted.emplace_back(printerName); }
    [[nodiscard]] std::int32_t DeleteAllValue() override { return deleteAll; }
    void ShowDriverKeptMessage(std::u16string driverName, std::u16string printerName) override {
        ShowDriverKeptNotice(system_, driverName, printerName);
    }

    std::vector<Line> lines;
    // The names in the order the removal added them (the dialog's list box shows them sorted).
    std::vector<std::u16string> deleted;
    std::int32_t deleteAll = 0;

  private:
    static char16_t Lower(char16_t unit) {
        return (unit >= u'A' && unit <= u'Z') ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
    }

    System& system_;
    bool sorted_;
};

}  // namespace spoolsweep::sim
