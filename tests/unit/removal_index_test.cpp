#include "removal/removal_index.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace spoolsweep {
namespace {

constexpr std::size_t kNotListed = static_cast<std::size_t>(-1);

// The Tamber count follows the deletions, reads again a driver whose key may have gone, and never reads a
// driver whose printers are all gone.
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
    index.NoteDeleted(kNotListed, 0);
    index.ForgetDriverFacts(u"TAM");  // the registry takes names without case
    EXPECT_EQ(index.TamberPrintersLeft(), 2);
    index.NoteDeleted(kNotListed, 2);
    index.ForgetDriverFacts(u"Solo");
    EXPECT_EQ(index.TamberPrintersLeft(), 1);
    EXPECT_EQ(reads, 3);
}

}  // namespace
}  // namespace spoolsweep
