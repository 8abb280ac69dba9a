// The dialog mode's removal as its delete button starts it, with fuzzed check states, "Delete All Printer
// Drivers" and message-box answers, on a machine the input shapes.
#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_machine.h"
#include "memory_dialog.h"
#include "platform/sim/sim_world.h"

namespace {

// Only printers whose line was checked go; a line cut short names the printers it begins.
bool WasChecked(const std::vector<std::u16string>& checked, const std::u16string& printer) {
    return std::any_of(checked.begin(), checked.end(), [&](const std::u16string& line) {
        return line == printer || (line.size() >= 250 && printer.starts_with(line));
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    using namespace spoolsweep;
    FuzzedDataProvider data(bytes, size);
    sim::SimMachine sim;
    fuzz::NameSource names(data);
    fuzz::ShapeMachine(data, names, sim);
    const fuzz::DeletionRules rules(sim);
    sim::MemoryDialog dialog(sim.machine().system);
    PrinterRemover remover(sim.machine(), &dialog, &dialog);
    const bool deleteAll = data.ConsumeBool();
    fuzz::InjectFaults(data, sim);

    std::vector<std::u16string> checked;
    if (remover.FillPrinterList() != kNoPrintersInstalled) {
        for (sim::MemoryDialog::Line& line : dialog.lines) {
            line.check = deleteAll || data.ConsumeBool() ? 1 : 0;
            if (line.check == 1 && !line.text.empty()) {
                // As the journal spells it: UTF-8, a lone surrogate replaced.
                checked.push_back(sim::FromUtf8(sim::ToUtf8(line.text.substr(1))));
            }
        }
        dialog.deleteAll = deleteAll ? 1 : 0;
        std::vector<std::u16string> busy;
        if (!checked.empty() && remover.FindBusyPrinters(busy) != 1) {
            remover.RunRemoval();
        }
    }
    rules.Check(sim);
    for (const std::string& line : sim.journal()) {
        for (const char* deletion : {"DeletePrinter ", "DeletePrinterConnectionW "}) {
            if (line.starts_with(deletion)) {
                std::string name = line.substr(std::string_view(deletion).size());
                if (name.ends_with(" pending") && !WasChecked(checked, sim::FromUtf8(name))) {
                    name.resize(name.size() - 8);
                }
                fuzz::Require(WasChecked(checked, sim::FromUtf8(name)), "an unchecked printer went: " + line);
            }
        }
    }
    return 0;
}
