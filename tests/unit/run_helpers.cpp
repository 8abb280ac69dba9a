#include "tests/unit/run_helpers.h"

#include <algorithm>

namespace spoolsweep::test {

sim::SimPrinter MakePrinter(std::u16string_view name, std::u16string_view driver, std::u16string_view share) {
    sim::SimPrinter printer;
    printer.name = name;
    printer.driver = driver;
    printer.share = share;
    if (name.starts_with(u"\\\\")) {
        printer.serverName = name.substr(0, name.find(u'\\', 2));
    }
    return printer;
}

std::vector<std::string> LogMessages(const sim::SimMachine& sim, std::u16string_view logPath) {
    std::vector<std::string> messages;
    const std::optional<std::string> text = sim.ReadFile(logPath);
    if (!text) {
        return messages;
    }
    // Every entry begins with CR LF and a blank; the timestamp ends at the banner.
    constexpr std::string_view kEntryStart = "\r\n ";
    std::size_t at = text->find(kEntryStart);
    while (at != std::string::npos) {
        const std::size_t next = text->find(kEntryStart, at + kEntryStart.size());
        std::string entry = text->substr(at + kEntryStart.size(), next - at - kEntryStart.size());
        const std::size_t banner = entry.find(kBanner);
        messages.push_back(banner == std::string::npos ? entry : entry.substr(banner + kBanner.size()));
        at = next;
    }
    return messages;
}

std::vector<std::u16string> PrinterNames(const sim::SimMachine& sim) {
    std::vector<std::u16string> names;
    for (const sim::SimPrinter& printer : sim.Printers()) {
        names.push_back(printer.name);
    }
    return names;
}

bool IsRunning(const sim::SimMachine& sim, std::uint32_t processId) {
    const auto processes = sim.Processes();
    return std::any_of(processes.begin(), processes.end(),
                       [&](const sim::SimProcess& p) { return p.processId == processId && p.running; });
}

std::size_t CountJournal(const sim::SimMachine& sim, std::string_view prefix) {
    std::size_t count = 0;
    for (const std::string& line : sim.journal()) {
        count += line.starts_with(prefix) ? 1 : 0;
    }
    return count;
}

std::optional<std::size_t> JournalIndex(const sim::SimMachine& sim, std::string_view prefix) {
    const auto& journal = sim.journal();
    for (std::size_t i = 0; i < journal.size(); ++i) {
        if (journal[i].starts_with(prefix)) {
            return i;
        }
    }
    return std::nullopt;
}

}  // namespace spoolsweep::test
