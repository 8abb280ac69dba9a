#pragma once
// The removal of one printer written step by step as the procedure reads, with none of the bookkeeping that
// keeps the shipping code's cost flat: every call walks the lists and reads the registry afresh. Tests and
// the benchmark run it beside the shipping code and compare what the two do to a machine.
#include <cstdint>

#include "cli/command_line_remover.h"
#include "cli/command_log.h"
#include "platform/machine.h"

namespace spoolsweep::test {

class ReferenceRemoval {
  public:
    ReferenceRemoval(Machine& machine, CommandLog& log, CommandLineRemover& lists)
        : machine_(machine), log_(log), lists_(lists) {}

    bool RemovePrinterAt(std::uint32_t index);

  private:
    void DeleteDriverAt(std::uint32_t index);
    [[nodiscard]] int IsDriverExclusive(std::uint32_t index) const;
    [[nodiscard]] int IsLastLocalPrinter() const;

    Machine& machine_;
    CommandLog& log_;
    CommandLineRemover& lists_;
};

}  // namespace spoolsweep::test
