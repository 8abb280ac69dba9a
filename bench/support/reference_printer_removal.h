#pragma once
// The dialog mode's removal written step by step as the procedure reads, with none of the lookups that keep
// the shipping code's cost flat: every step walks the lists and compares afresh. Tests and the benchmark run
// it beside PrinterRemover::RunRemoval, on the remover's lists and views, and compare what the two do.
#include "platform/machine.h"
#include "removal/printer_remover.h"

namespace spoolsweep::test {

void RunRemovalStepByStep(Machine& machine, PrinterRemover& remover);

}  // namespace spoolsweep::test
