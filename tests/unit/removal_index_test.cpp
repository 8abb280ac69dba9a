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

}  // namespace
}  // namespace spoolsweep
