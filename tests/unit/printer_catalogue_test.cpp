#include "spooler/printer_catalogue.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/win_errors.h"
#include "spooler_decorator.h"
#include "tests/unit/run_helpers.h"

namespace spoolsweep {
namespace {

std::vector<std::u16string> NamesOf(const std::vector<PrinterRecord>& records) {
    std::vector<std::u16string> names;
    for (const PrinterRecord& record : records) {
        names.push_back(record.printerName);
    }
    return names;
}

// A spooler whose EnumPrintersW answers are given one by one; the buffer sizes asked for are kept.
// Every other call goes to a machine of its own, made before the decorator that forwards to it.
struct SpareMachine {
    sim::SimMachine spare;
};
class ScriptedSpooler : private SpareMachine, public testing::SpoolerDecorator {
  public:
    ScriptedSpooler() : SpoolerDecorator(spare.machine().spooler) {}
    EnumResult<PrinterInfo> EnumPrinters(std::uint32_t flags, std::uint32_t bufferBytes) override {
        flagsSeen.push_back(flags);
        buffersSeen.push_back(bufferBytes);
        if (answers.empty()) {
            return {};
        }
        EnumResult<PrinterInfo> answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::deque<EnumResult<PrinterInfo>> answers;
    std::vector<std::uint32_t> flagsSeen;
    std::vector<std::uint32_t> buffersSeen;
};

EnumResult<PrinterInfo> TooSmall(std::uint32_t bytesNeeded) {
    return {false, win_error::kInsufficientBuffer, bytesNeeded, {}};
}

EnumResult<PrinterInfo> Listing(std::vector<std::u16string> names) {
    EnumResult<PrinterInfo> result{true, 0, 0, {}};
    for (std::u16string& name : names) {
        result.entries.push_back({std::nullopt, std::move(name), u"Driver", std::nullopt});
    }
    return result;
}

TEST(PrinterRecord, OverlongNamesAreCutToTheirField) {
    std::u16string longName(300, u'n');
    PrinterRecord record(longName, longName, std::u16string(259, u'd'), std::u16string(260, u's'));
    EXPECT_EQ(record.serverName, longName.substr(0, 259));
    EXPECT_EQ(record.printerName, longName.substr(0, 259));
    EXPECT_EQ(record.driverName, std::u16string(259, u'd'));
    EXPECT_EQ(record.shareName, std::u16string(259, u's'));
}

TEST(HasNorvelPrefix, MatchesThePrefixInAnyLetterCase) {
    for (std::u16string_view name : {u"Norvel", u"NorvelAB12", u"norvelab12", u"NORVEL", u"nOrVeL.ppd"}) {
        EXPECT_TRUE(HasNorvelPrefix(name)) << std::string(name.begin(), name.end());
    }
    // U+014E and U+FF2E both end in the byte of "N"; neither is that letter.
    for (std::u16string_view name : {u"", u"Norve", u"XNorvel", u"Nor vel", u"\u014Eorvel", u"\uFF2Eorvel"}) {
        EXPECT_FALSE(HasNorvelPrefix(name)) << name.size();
    }
}

TEST(EnumerateInstalledPrinters, ListsLocalSharedAndConnectionsInSpoolerOrder) {
    sim::SimMachine sim;
    sim.AddDriver({u"Windows x64", u"Tamber PS", u"NorvelAB12.PPD", u""});
    sim.AddPrinter(test::MakePrinter(u"Local", u"Tamber PS"));
    sim.AddPrinter(test::MakePrinter(u"Shared", u"Tamber PS", u"SharedShare"));
    sim.AddPrinter(test::MakePrinter(u"\\\\srv\\Remote", u"Tamber PS"));
    std::vector<PrinterRecord> records = EnumerateInstalledPrinters(sim.machine().spooler);
    ASSERT_EQ(NamesOf(records), (std::vector<std::u16string>{u"Local", u"Shared", u"\\\\srv\\Remote"}));
    EXPECT_EQ(records[0].serverName, u"");
    EXPECT_EQ(records[0].shareName, u"");
    EXPECT_EQ(records[1].shareName, u"SharedShare");
    EXPECT_EQ(records[2].serverName, u"\\\\srv");
    EXPECT_EQ(records[2].driverName, u"Tamber PS");
    EXPECT_EQ(sim.calls().Count("EnumPrintersW"), 2U);

    PrinterCatalogue catalogue(sim.machine().spooler);
    EXPECT_EQ(NamesOf(catalogue.printers), NamesOf(records));
    EXPECT_TRUE(catalogue.remainingDataFiles.empty());
}

// Local printers and connections, asked with the size the spooler gave; a printer added between the two calls
// is retried once, no printers means no second call, and a failed call an empty list.
TEST(EnumerateInstalledPrinters, AsksWithTheSizeItWasGivenAndRetriesOnce) {
    struct Case {
        std::deque<EnumResult<PrinterInfo>> answers;
        std::vector<std::u16string> names;
        std::vector<std::uint32_t> buffers;
    };
    const Case cases[] = {
        {{TooSmall(640), Listing({u"A", u"B"})}, {u"A", u"B"}, {0, 640}},
        {{TooSmall(640), TooSmall(960), Listing({u"A", u"B", u"New"})}, {u"A", u"B", u"New"}, {0, 640, 960}},
        {{TooSmall(640), TooSmall(960), TooSmall(1280), Listing({u"A"})}, {}, {0, 640, 960}},
        {{EnumResult<PrinterInfo>{true, 0, 0, {}}}, {}, {0}},
        {{EnumResult<PrinterInfo>{false, win_error::kAccessDenied, 0, {}}}, {}, {0}},
        {{TooSmall(640), EnumResult<PrinterInfo>{false, win_error::kAccessDenied, 0, {}}}, {}, {0, 640}},
    };
    for (const Case& c : cases) {
        ScriptedSpooler spooler;
        spooler.answers = c.answers;
        EXPECT_EQ(NamesOf(EnumerateInstalledPrinters(spooler)), c.names);
        EXPECT_EQ(spooler.buffersSeen, c.buffers);
        EXPECT_EQ(spooler.flagsSeen, std::vector<std::uint32_t>(c.buffers.size(), 6));
    }
}

}  // namespace
}  // namespace spoolsweep
