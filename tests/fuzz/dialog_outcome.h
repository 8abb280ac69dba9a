#pragma once
// What a removal started from the dialog must leave on a simulated machine whose names Windows could hold,
// worked out from the machine before the run and the user's choices alone: which printers, drivers, forms,
// keys, values, files and processes go or stay, and which message boxes are asked, in order. It shares no
// code with the cleaners or the remover, so a fault inside one of them shows as a difference here.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace spoolsweep::test {

class DialogOutcome {
  public:
    // Read before the run: the machine, the check list's lines (a blank, then the printer's name) with
    // their check states, and the "Delete All Printer Drivers" box.
    DialogOutcome(sim::SimMachine& sim, const std::vector<std::pair<std::u16string, int>>& lines,
                  bool deleteAll);
    // One line for every rule the machine breaks after the run; empty when it shows the outcome.
    [[nodiscard]] std::vector<std::string> Differences(const sim::SimMachine& sim) const;

  private:
    enum class Kind { Printer, Driver, Form, Key, Value, Path, Process };
    struct Rule {
        Kind kind;
        bool gone;
        std::u16string path;       // printer, driver, form, key or path; a process's exe name
        std::u16string name = {};  // value name, a driver's environment
        Handle root = 0;
        std::uint32_t id = 0;  // a process's
    };
    [[nodiscard]] static bool Present(const sim::SimMachine& sim, const Rule& rule);

    std::vector<Rule> rules_;
    std::vector<sim::SimMachine::MessageBoxCall> boxes_;
};

}  // namespace spoolsweep::test
