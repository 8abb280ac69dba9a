// The dialog mode's removal as its delete button starts it, with fuzzed check states, "Delete All Printer
// Drivers" and message-box answers, on a machine the input shapes. Without failing calls, the same machine is
// also run through the step-by-step removal, which must do exactly the same; when the input chose names
// Windows could hold, the shipping run must also leave the outcome worked out from the machine and the
// choices alone (dialog_outcome.h).
#include <algorithm>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "bench/support/reference_printer_removal.h"
#include "dialog_outcome.h"
#include "fuzz_machine.h"
#include "platform/sim/sim_world.h"
#include "preview/memory_dialog.h"

namespace {

// Only printers whose line was checked go; a line cut short names the printers it begins.
bool WasChecked(const std::vector<std::u16string>& checked, const std::u16string& printer) {
    return std::any_of(checked.begin(), checked.end(), [&](const std::u16string& line) {
        return line == printer || (line.size() >= 250 && printer.starts_with(line));
    });
}

enum class Run { Faulted, Shipping, StepByStep };

// What a run leaves: journal, message boxes, the names listed as deleted and the files left.
using Outcome = std::tuple<std::vector<std::string>,
                           std::vector<std::tuple<std::u16string, std::u16string, std::uint32_t>>,
                           std::vector<std::u16string>, std::vector<std::u16string>>;

Outcome RunRemoval(const std::uint8_t* bytes, std::size_t size, Run run) {
    using namespace spoolsweep;
    fuzz::ShapedMachine shaped(bytes, size, true);
    auto& [data, names, sim] = shaped;
    const fuzz::DeletionRules rules(sim);
    sim::MemoryDialog dialog(sim.machine().system);
    PrinterRemover remover(sim.machine(), &dialog, &dialog);
    const bool deleteAll = data.ConsumeBool();
    if (run == Run::Faulted) {
        fuzz::InjectFaults(data, sim);
    }

    std::vector<std::u16string> checked;
    std::optional<test::DialogOutcome> outcome;
    if (remover.FillPrinterList() != kNoPrintersInstalled) {
        for (sim::MemoryDialog::Line& line : dialog.lines) {
            line.check = deleteAll || data.ConsumeBool() ? 1 : 0;
            if (line.check == 1 && !line.text.empty()) {
                // As the journal spells it: UTF-8, a lone surrogate replaced.
                checked.push_back(sim::FromUtf8(sim::ToUtf8(line.text.substr(1))));
            }
        }
        dialog.deleteAll = deleteAll ? 1 : 0;
        if (run == Run::Shipping && names.Plain()) {
            std::vector<std::pair<std::u16string, int>> lines;
            for (const sim::MemoryDialog::Line& line : dialog.lines) {
                lines.emplace_back(line.text, line.check);
            }
            outcome.emplace(sim, lines, deleteAll);
        }
        std::vector<std::u16string> busy;
        if (!checked.empty() && remover.FindBusyPrinters(busy) != 1) {
            run == Run::StepByStep ? test::RunRemovalStepByStep(sim.machine(), remover)
                                   : remover.RunRemoval();
        }
    }
    rules.Check(sim);
    std::string differences;
    for (const std::string& difference : outcome ? outcome->Differences(sim) : std::vector<std::string>{}) {
        differences += "\n  " + difference;
    }
    fuzz::Require(differences.empty(), "the run left another outcome:" + differences);
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
    Outcome left{sim.journal(), {}, dialog.deleted, sim.AllPaths()};
    for (const auto& box : sim.MessageBoxes()) {
        std::get<1>(left).emplace_back(box.caption, box.text, box.style);
    }
    return left;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    static_cast<void>(RunRemoval(bytes, size, Run::Faulted));
    spoolsweep::fuzz::Require(
        RunRemoval(bytes, size, Run::Shipping) == RunRemoval(bytes, size, Run::StepByStep),
        "the shipping and the step-by-step removal differ");
    return 0;
}
