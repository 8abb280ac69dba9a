#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/spoolsweep_app.h"
#include "cli/command_line_remover.h"
#include "cli/custom_command_line_info.h"
#include "platform/sim/sim_machine.h"
#include "tests/unit/run_helpers.h"

namespace spoolsweep {
namespace {

constexpr std::u16string_view kDriver = u"Tamber PS";
// "Принтер": each unit cut to its low byte.
constexpr std::u16string_view kCyrillicName = u"\u041F\u0440\u0438\u043D\u0442\u0435\u0440";
constexpr std::string_view kCyrillicNarrow = "\x1F\x40\x38\x3D\x42\x35\x40";
constexpr std::string_view kCyrillicUtf8 = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xBD\xD1\x82\xD0\xB5\xD1\x80";

class Listing : public ::testing::Test {
  protected:
    Listing() { sim.AddDriver({u"Windows x64", std::u16string(kDriver), u"NorvelAB12.PPD", u""}); }

    void AddPrinter(std::u16string_view name) { sim.AddPrinter(test::MakePrinter(name, kDriver)); }
    // A remover that reads the printers the machine has now.
    CommandLineRemover MakeRemover() { return CommandLineRemover(sim.machine(), log); }
    std::string ListAll() { return CommandLineRemover::FormatPrinterList(MakeRemover().printers); }

    sim::SimMachine sim;
    CommandLog log{sim.machine().files, sim.machine().system};
};

TEST_F(Listing, GetInstalledPrintersListsEveryKindOnePerLine) {
    ResetPendingOption();
    AddPrinter(u"Office Laser");
    sim.AddPrinter(test::MakePrinter(u"Front Desk", kDriver, u"FD"));
    sim.AddPrinter(test::MakePrinter(u"\\\\print01\\Plotter", kDriver));
    sim.SetCommandLine(u"Spoolsweep.exe -getInstalledPrinters");
    EXPECT_EQ(RunSpoolsweepApp(sim.machine()), 0);
    EXPECT_EQ(sim.Stdout(), " Office Laser\n Front Desk\n \\\\print01\\Plotter\n");
    EXPECT_EQ(test::LogMessages(sim),
              (std::vector<std::string>{"GetInstalled Printers",
                                        "Command Line Arguments Passed so No UI is launched."}));
}

TEST_F(Listing, NonLatinNamesListGarbledAndMatchOnlyTheirNarrowForm) {
    AddPrinter(kCyrillicName);
    AddPrinter(u"Caf\u00E9");
    EXPECT_EQ(ListAll(), " " + std::string(kCyrillicNarrow) + "\n Caf\xE9\n");

    CommandLineRemover remover = MakeRemover();
    std::string acp = sim.machine().system.WideToMultiByte(kCyrillicName, kCpThreadAcp);
    for (const std::string& typed : {std::string(kCyrillicUtf8), acp}) {
        remover.selectionFound = false;
        EXPECT_EQ(remover.FindSelectedPrinter(" " + typed), 0U);
        EXPECT_FALSE(remover.selectionFound);
    }
    EXPECT_EQ(remover.FindSelectedPrinter(" Caf\xE9"), 1U);
    EXPECT_TRUE(remover.selectionFound);
}

TEST_F(Listing, TheLastOfEqualNarrowNamesWins) {
    AddPrinter(u"Pr\u0141");  // U+0141 ends in the byte of "A"
    AddPrinter(u"Other");
    AddPrinter(u"PrA");
    AddPrinter(u"Zeta");
    CommandLineRemover remover = MakeRemover();
    EXPECT_EQ(remover.FindSelectedPrinter(" PrA"), 2U);
    EXPECT_TRUE(remover.selectionFound);

    remover.selectionFound = false;
    EXPECT_EQ(remover.FindSelectedPrinter(" Other"), 1U);
    for (std::string_view miss : {" PrA ", "PrA", " pra", " ", ""}) {
        remover.selectionFound = false;
        EXPECT_EQ(remover.FindSelectedPrinter(miss), 0U);
        EXPECT_FALSE(remover.selectionFound) << miss;
    }
}

TEST_F(Listing, LongNamesAreCutOnTheConsoleButMatchedWhole) {
    std::u16string longName(300, u'L');
    longName[253] = u'x';  // the last unit that fits the listing line
    longName[254] = u'y';  // the first that does not
    AddPrinter(longName);
    std::string recorded(259, 'L');
    recorded[253] = 'x';
    recorded[254] = 'y';

    EXPECT_EQ(ListAll(), " " + recorded.substr(0, 254) + "\n");

    CommandLineRemover remover = MakeRemover();
    EXPECT_EQ(remover.printers.at(0).printerName.size(), 259U);
    EXPECT_EQ(remover.FindSelectedPrinter(" " + recorded.substr(0, 254)), 0U);
    EXPECT_FALSE(remover.selectionFound);
    EXPECT_EQ(remover.FindSelectedPrinter(" " + recorded), 0U);
    EXPECT_TRUE(remover.selectionFound);
}

TEST_F(Listing, BothListsAlwaysNameTheSamePrinters) {
    AddPrinter(u"A");
    AddPrinter(u"B");
    CommandLineRemover remover = MakeRemover();
    EXPECT_EQ(sim.calls().Count("EnumPrintersW"), 2U);  // one enumeration: size, then data
    ASSERT_EQ(remover.printers.size(), 2U);
    ASSERT_EQ(remover.catalogue.printers.size(), 2U);
    EXPECT_EQ(remover.catalogue.printers[1].printerName, u"B");
    EXPECT_EQ(remover.printers[1].printerName, u"B");
    EXPECT_TRUE(remover.selectionText.empty());
    EXPECT_FALSE(remover.selectionFound);

    AddPrinter(u"C");
    std::vector<PrinterRecord> copy = remover.RefreshPrinters();
    ASSERT_EQ(copy.size(), 3U);
    EXPECT_EQ(copy[2].printerName, u"C");
    ASSERT_EQ(remover.printers.size(), 3U);
    // The catalogue keeps what the option found when it started.
    EXPECT_EQ(remover.catalogue.printers.size(), 2U);
}

}  // namespace
}  // namespace spoolsweep
