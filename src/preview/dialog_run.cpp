#include "preview/dialog_run.h"

#include <algorithm>
#include <ostream>

#include "platform/sim/sim_world.h"
#include "preview/memory_dialog.h"
#include "removal/printer_remover.h"

namespace spoolsweep::sim {
namespace {

void PrintIndented(std::ostream& out, std::u16string_view text) {
    const std::string narrow = ToUtf8(text);
    for (std::size_t from = 0;;) {
        const std::size_t end = narrow.find('\n', from);
        out << "  " << narrow.substr(from, end - from) << "\n";
        if (end == std::string::npos) {
            return;
        }
        from = end + 1;
    }
}

}  // namespace

int RunDialogRemoval(SimMachine& machine, const DialogRun& run, std::ostream& out, std::ostream& err) {
    MemoryDialog dialog(machine.machine().system);
    PrinterRemover remover(machine.machine(), &dialog, &dialog);
    if (remover.FillPrinterList() == kNoPrintersInstalled) {
        out << "no printers installed\n";
        return 1;
    }
    if (run.deleteAll) {
        dialog.deleteAll = 1;
        dialog.CheckAll();
    }
    for (const std::string& name : run.checks) {
        if (!dialog.Check(FromUtf8(name))) {
            err << "spoolsweep-sim: no printer line \"" << name << "\"\n";
            return 2;
        }
    }
    if (std::none_of(dialog.lines.begin(), dialog.lines.end(),
                     [](const auto& line) { return line.check == 1; })) {
        out << "no printer checked\n";
        return 1;
    }
    std::vector<std::u16string> busy;
    if (remover.FindBusyPrinters(busy) == 1) {
        out << "printers with queued jobs, nothing removed:\n";
        for (const std::u16string& name : busy) {
            PrintIndented(out, name);
        }
        return 1;
    }
    if (!run.answers.empty()) {
        machine.QueueMessageBoxAnswers(run.answers);
    }
    remover.RunRemoval();
    for (const SimMachine::MessageBoxCall& box : machine.MessageBoxes()) {
        out << "message box \"" << ToUtf8(box.caption) << "\":\n";
        PrintIndented(out, box.text);
    }
    out << "deleted printers:\n";
    for (const std::u16string& name : dialog.deleted) {
        PrintIndented(out, name);
    }
    return 0;
}

}  // namespace spoolsweep::sim
