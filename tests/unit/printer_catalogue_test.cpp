#include "spooler/printer_catalogue.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "cli_test_support.h"
#include "platform/sim/sim_machine.h"
#include "platform/win_errors.h"

namespace spoolsweep {
namespace {

std::vector<std::u16string> Names(const std::vector<PrinterRecord>& records) {
    std::vector<std::u16string> names;
    for (const PrinterRecord& record : records) {
        names.push_back(record.printerName);
    }
    return names;
}

// A spooler whose EnumPrintersW answers are given one by one; the buffer sizes asked for are kept.
class ScriptedSpooler : public Spooler {
  public:
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
    EnumResult<DriverInfo> EnumPrinterDrivers(std::u16string_view, std::uint32_t) override { return {}; }
    HandleResult OpenPrinter(std::u16string_view, std::uint32_t) override { return {}; }
    void ClosePrinter(Handle) override {}
    EnumResult<std::uint32_t> EnumJobs(Handle, std::uint32_t, std::uint32_t, std::uint32_t) override {
        return {};
    }
    EnumResult<FormInfo> EnumForms(Handle, std::uint32_t) override { return {}; }
    Status DeletePrinter(Handle) override { return {}; }
    Status DeletePrinterConnection(std::u16string_view) override { return {}; }
    Status DeleteForm(Handle, std::u16string_view) override { return {}; }
    Status DeletePrinterDriverEx(std::u16string_view, std::u16string_view, std::uint32_t,
                                 std::uint32_t) override {
        return {};
    }
    bool CanDeletePrinterDriverPackage() override { return false; }
    Status DeletePrinterDriverPackage(std::u16string_view, std::u16string_view) override { return {}; }
    DefaultPrinterResult GetDefaultPrinter(std::uint32_t) override { return {}; }

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

TEST(PrinterRecord, AbsentNamesAreEmptyAndMarksStartCleared) {
    PrinterRecord record(std::nullopt, u"P1", u"Tamber PS", std::nullopt);
    EXPECT_EQ(record.serverName, u"");
    EXPECT_EQ(record.printerName, u"P1");
    EXPECT_EQ(record.driverName, u"Tamber PS");
    EXPECT_EQ(record.shareName, u"");
    EXPECT_EQ(record.selected + record.driverToDelete + record.deleted, 0);
    EXPECT_TRUE(record.dataFileBase.empty() && record.dsDriverName.empty() && record.pnpHardwareId.empty());
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
    sim.AddPrinter(testing::MakePrinter(u"Local", u"Tamber PS"));
    sim.AddPrinter(testing::MakePrinter(u"Shared", u"Tamber PS", u"SharedShare"));
    sim.AddPrinter(testing::MakePrinter(u"\\\\srv\\Remote", u"Tamber PS", u"", u"\\\\srv"));
    std::vector<PrinterRecord> records = EnumerateInstalledPrinters(sim.machine().spooler);
    ASSERT_EQ(Names(records), (std::vector<std::u16string>{u"Local", u"Shared", u"\\\\srv\\Remote"}));
    EXPECT_EQ(records[0].serverName, u"");
    EXPECT_EQ(records[0].shareName, u"");
    EXPECT_EQ(records[1].shareName, u"SharedShare");
    EXPECT_EQ(records[2].serverName, u"\\\\srv");
    EXPECT_EQ(records[2].driverName, u"Tamber PS");
    EXPECT_EQ(sim.calls().Count("EnumPrintersW"), 2U);

    PrinterCatalogue catalogue(sim.machine().spooler);
    EXPECT_EQ(Names(catalogue.printers), Names(records));
    EXPECT_TRUE(catalogue.remainingDataFiles.empty());
}

TEST(EnumerateInstalledPrinters, FailedCallsGiveAnEmptyList) {
    for (int skip : {0, 1}) {
        sim::SimMachine sim;
        sim.AddDriver({u"Windows x64", u"D", u"D.PPD", u""});
        sim.AddPrinter(testing::MakePrinter(u"P", u"D"));
        sim.faults().Fail("EnumPrintersW", win_error::kAccessDenied, 1, skip);
        EXPECT_TRUE(EnumerateInstalledPrinters(sim.machine().spooler).empty()) << skip;
    }
    sim::SimMachine empty;
    EXPECT_TRUE(PrinterCatalogue(empty.machine().spooler).printers.empty());
}

TEST(EnumerateInstalledPrinters, AsksForLocalAndConnectionsWithTheSizeItWasGiven) {
    ScriptedSpooler spooler;
    spooler.answers = {TooSmall(640), Listing({u"A", u"B"})};
    EXPECT_EQ(Names(EnumerateInstalledPrinters(spooler)), (std::vector<std::u16string>{u"A", u"B"}));
    EXPECT_EQ(spooler.flagsSeen, (std::vector<std::uint32_t>{6, 6}));
    EXPECT_EQ(spooler.buffersSeen, (std::vector<std::uint32_t>{0, 640}));
}

TEST(EnumerateInstalledPrinters, APrinterAddedBetweenTheCallsIsRetriedOnce) {
    ScriptedSpooler spooler;
    spooler.answers = {TooSmall(640), TooSmall(960), Listing({u"A", u"B", u"New"})};
    EXPECT_EQ(Names(EnumerateInstalledPrinters(spooler)), (std::vector<std::u16string>{u"A", u"B", u"New"}));
    EXPECT_EQ(spooler.buffersSeen, (std::vector<std::uint32_t>{0, 640, 960}));

    ScriptedSpooler growing;
    growing.answers = {TooSmall(640), TooSmall(960), TooSmall(1280), Listing({u"A"})};
    EXPECT_TRUE(EnumerateInstalledPrinters(growing).empty());
    EXPECT_EQ(growing.buffersSeen.size(), 3U);
}

TEST(EnumerateInstalledPrinters, NoPrintersMeansNoSecondCall) {
    ScriptedSpooler spooler;
    spooler.answers = {EnumResult<PrinterInfo>{true, 0, 0, {}}};
    EXPECT_TRUE(EnumerateInstalledPrinters(spooler).empty());
    EXPECT_EQ(spooler.buffersSeen.size(), 1U);
}

}  // namespace
}  // namespace spoolsweep
