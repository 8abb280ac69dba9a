#pragma once
// The dialog mode's removal on a simulated machine, as the dialog's delete button starts it: the printer
// list is filled, the chosen lines are checked, a busy printer stops the run, and RunRemoval removes the
// rest.
#include <iosfwd>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace spoolsweep::sim {

struct DialogRun {
    std::vector<std::string> checks;  // printer names, UTF-8
    bool deleteAll = false;           // "Delete All Printer Drivers", which checks every printer
    std::vector<int> answers;         // message-box answers, in order
};

// Prints the message boxes shown (caption, then the text indented) and the deleted-printers list. Returns 0
// after a removal, 1 when the dialog would not start one (no printer, none checked, a busy printer), 2 for a
// printer that has no line.
int RunDialogRemoval(SimMachine& machine, const DialogRun& run, std::ostream& out, std::ostream& err);

}  // namespace spoolsweep::sim
