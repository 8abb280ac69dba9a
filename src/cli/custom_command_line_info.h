#pragma once
// The command-line parser: every option runs at the moment the framework hands its parameter over, in
// command-line order.
#include <cstdint>
#include <string>
#include <string_view>

#include "app/command_line_info.h"
#include "cli/command_log.h"
#include "platform/machine.h"

namespace spoolsweep {

// "p" once -p has been seen: the last parameter is then the printer list. Nothing in a run clears it.
extern std::u16string g_strPendingOption;
// Empties g_strPendingOption, as at program start (for a second run in one process, as tests make).
void ResetPendingOption();

class CCustomCommandLineInfo : public CCommandLineInfo {
  public:
    CCustomCommandLineInfo(Machine& machine, CommandLog& log) : machine_(machine), log_(log) {}

    void ParseParam(std::u16string_view text, bool isFlag, bool isLast) override;

    // Set by any parameter that began with "-" or "/", recognised or not: no dialog then.
    std::int32_t m_bOptionGiven = 0;
    // Set once the -p list has removed a printer.
    bool m_bSelectionRemoved = false;

  private:
    [[nodiscard]] bool RunOption(std::u16string_view option);
    void AnnounceSelection();
    void PrintUsage();

    Machine& machine_;
    CommandLog& log_;
};

}  // namespace spoolsweep
