#include "cli/custom_command_line_info.h"

#include "cli/listing_option.h"
#include "cli/removal_options.h"

namespace spoolsweep {

std::u16string g_strPendingOption;

void ResetPendingOption() {
    g_strPendingOption.clear();
}

namespace {

constexpr std::u16string_view kListPending = u"p";

constexpr std::string_view kUsageListOption =
    "\n \t 2. -p  \"Printer1 , Printer2\" -> Remove specified printers. Printer names must be separated by "
    "comma and complete list should be enclosed within \" \". ";

// Written one after the other, with no line end after the last.
constexpr std::string_view kUsagePieces[] = {
    " \t Usage: Spoolsweep.exe [options]     ",
    "\n \t Options can be any of the following: ",
    "\n \t 1. -rmPrints -> removes all the printers.",
    kUsageListOption,
    "\n \t 3. -getInstalledPrinters -> Get a list of all printers using Tamber Drivers.",
};

}  // namespace

void CCustomCommandLineInfo::ParseParam(std::u16string_view text, bool isFlag, bool isLast) {
    if (isFlag && !m_bOptionGiven) {
        m_bOptionGiven = 1;
    }
    if (isFlag && RunOption(text)) {
        return;
    }
    if (isLast && g_strPendingOption == kListPending && !m_bSelectionRemoved) {
        if (RunRemoveSelectedPrinters(machine_, log_, text)) {
            m_bSelectionRemoved = true;
        }
        return;
    }
    CCommandLineInfo::ParseParam(text, isFlag, isLast);
}

// Exact, case-sensitive names, compared in this order; false for anything else.
bool CCustomCommandLineInfo::RunOption(std::u16string_view option) {
    if (option == u"getInstalledPrinters") {
        RunGetInstalledPrinters(machine_, log_);
    } else if (option == u"rmPrints") {
        RunRemoveAllPrinters(machine_, log_);
    } else if (option == u"rmNorvelPrints") {
        RunRemoveNorvelPrinters(machine_, log_);
    } else if (option == kListPending) {
        AnnounceSelection();
    } else if (option == u"help") {
        PrintUsage();
    } else {
        return false;
    }
    return true;
}

// The names come with the last parameter; nothing is removed yet.
void CCustomCommandLineInfo::AnnounceSelection() {
    // Moved in: g++ 12 at -O3 misreads an in-place copy as overlapping (-Wrestrict).
    g_strPendingOption = std::u16string(kListPending);
    log_.WriteLogLine("Removing Selected Printers");
}

void CCustomCommandLineInfo::PrintUsage() {
    log_.WriteLogLine("Print the Usage Menu");
    for (std::string_view piece : kUsagePieces) {
        machine_.system.WriteStdout(piece);
    }
}

}  // namespace spoolsweep
