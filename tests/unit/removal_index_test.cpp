#include "removal/removal_index.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace spoolsweep {
namespace {

// The Tamber count follows the catalogue's deleted marks, reads again a driver whose key may have gone, and
// never reads a driver whose printers are all gone.
TEST(RemovalIndex, TamberCountFollowsDeletionsAndRereadsForgottenDrivers) {
    std::vector<PrinterRecord> catalogue(3);
    catalogue[0].driverName = catalogue[1].driverName = u"Tam";
    catalogue[2].driverName = u"Solo";
    int reads = 0;
    RemovalIndex index({}, catalogue, [&](std::u16string_view) {
        ++reads;
        return std::u16string(u"NorvelAB12");
    });
    EXPECT_EQ(index.TamberPrintersLeft(), 3);
    catalogue[0].deleted = 1;
    index.ForgetDriverFacts(u"TAM");  // the registry takes names without case
    EXPECT_EQ(index.TamberPrintersLeft(), 2) << "a deleted catalogue entry still counts";
    catalogue[2].deleted = 1;
    index.ForgetDriverFacts(u"Solo");
    EXPECT_EQ(index.TamberPrintersLeft(), 1);
    EXPECT_EQ(reads, 3) << "a forgotten driver is not read again, or one with no printer left is";
}

// The marks of the records are the only record: whoever sets them, the next answer sees them.
TEST(RemovalIndex, AnswersFromTheRecordsMarksWhoeverSetsThem) {
    struct Case {
        std::vector<int> selected;
        std::vector<int> deleted;
        bool sharedWithUnselected;  // of entry 0, driver "D" (entries 0, 1 and the connection 3)
        bool oneLocalLeft;          // entries 0, 1, 2 are local
        const char* fault;
    };
    const Case cases[] = {
        {{0, 0, 0, 0}, {0, 0, 0, 0}, true, false, "an unselected user of the driver is missed"},
        {{1, 1, 0, 0}, {0, 0, 0, 0}, true, false, "a connection using the driver is not counted"},
        {{1, 1, 0, 1}, {0, 0, 0, 0}, false, false, "a selected user keeps the driver"},
        {{0, 1, 1, 1}, {0, 0, 0, 0}, false, false, "the entry counts as its own other user"},
        {{1, 1, 1, 1}, {1, 1, 0, 0}, false, true, "a deleted mark set on the record is not seen"},
        {{1, 1, 1, 1}, {1, 0, 1, 0}, false, true, "a connection counts among the local printers"},
        {{1, 1, 1, 1}, {1, 1, 1, 0}, false, false, "no local printer left reads as one"},
    };
    for (const Case& c : cases) {
        std::vector<PrinterRecord> printers(4);
        printers[0].driverName = printers[1].driverName = printers[3].driverName = u"D";
        printers[2].driverName = u"E";
        printers[3].serverName = u"\\\\srv";
        RemovalIndex index(printers);
        (void)index.IsOneLocalPrinterLeft();  // built and asked before the marks change
        for (std::size_t i = 0; i < printers.size(); ++i) {
            printers[i].selected = c.selected[i];
            printers[i].deleted = c.deleted[i];
        }
        EXPECT_EQ(index.HasOtherUnselectedUser(0), c.sharedWithUnselected) << c.fault;
        EXPECT_EQ(index.IsOneLocalPrinterLeft(), c.oneLocalLeft) << c.fault;
    }
}

}  // namespace
}  // namespace spoolsweep
