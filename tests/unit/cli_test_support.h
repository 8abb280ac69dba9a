#pragma once
// Helpers for the command-line tests on a simulated machine.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace spoolsweep::testing {

inline constexpr std::u16string_view kAdminLogPath = u"C:\\Users\\admin\\Spoolsweep_CL.log";
inline constexpr std::string_view kLogBanner = "\t Tamber Spoolsweep Command Line  ------> \t";

// A printer as the spooler would list it; a server name makes it a connection.
inline sim::SimPrinter MakePrinter(std::u16string_view name, std::u16string_view driver,
                                   std::u16string_view share = {}, std::u16string_view serverName = {}) {
    sim::SimPrinter printer;
    printer.name = name;
    printer.driver = driver;
    printer.share = share;
    printer.serverName = serverName;
    return printer;
}

// The messages of every entry, in order; an entry's frame is CR LF, a blank, a 19-character timestamp and
// the banner. Messages holding line feeds are not expected here.
inline std::vector<std::string> ReadLogMessages(const sim::SimMachine& machine,
                                                std::u16string_view path = kAdminLogPath) {
    std::vector<std::string> messages;
    std::optional<std::string> contents = machine.ReadFile(path);
    if (!contents) {
        return messages;
    }
    constexpr std::string_view kEntryStart = "\r\n ";
    std::size_t at = 0;
    while (at < contents->size()) {
        EXPECT_EQ(contents->compare(at, kEntryStart.size(), kEntryStart), 0) << *contents;
        std::size_t next = contents->find(kEntryStart, at + kEntryStart.size());
        if (next == std::string::npos) {
            next = contents->size();
        }
        std::string entry = contents->substr(at + kEntryStart.size(), next - at - kEntryStart.size());
        EXPECT_EQ(entry.compare(19, kLogBanner.size(), kLogBanner), 0) << entry;
        messages.push_back(entry.size() > 19 + kLogBanner.size() ? entry.substr(19 + kLogBanner.size()) : "");
        at = next;
    }
    return messages;
}

}  // namespace spoolsweep::testing
