// The comparison the dialog's removal makes between driver names (lstrcmpW): the user's locale,
// case-sensitive but linguistic, so two names that differ in code units may still be the same driver to it.
#include <string>

#include "contract_helpers.h"
#include "platform/system.h"
#include "world.h"

namespace spoolsweep::contract {
namespace {

class SystemContract : public WorldTest {};

TEST_F(SystemContract, ComparesNamesAsTheUsersLocaleDoes) {
    struct Case {
        std::u16string a;
        std::u16string b;
        int order;  // -1, 0 or 1
        const char* rule;
    };
    const Case cases[] = {
        {u"Laser PS", u"Laser PS", 0, "the same name is equal"},
        {u"Laser PS", u"LASER PS", -1, "letter case counts, lower case first"},
        {u"a", u"A", -1, "lower case sorts before upper case"},
        {u"a", u"B", -1, "letters sort by the alphabet, not by code unit"},
        {u"Laser", u"Laser 2", -1, "a name sorts before its longer forms"},
        {u"La\u00ADser", u"Laser", 0, "a soft hyphen carries no weight"},
        {u"Caf\u00E9", u"Cafe\u0301", 0, "a precomposed letter equals the letter with a combining accent"},
        {u"Cafe", u"Caf\u00E9", -1, "an accent counts after the letters"},
        {u"Cafe 2", u"Caf\u00E9", 1, "a further character weighs more than an accent"},
        {u"Caf\u00E9", u"CAFE", 1, "an accent weighs more than letter case"},
    };
    System& system = machine().system;
    for (const Case& c : cases) {
        const int forward = system.CompareStrings(c.a, c.b);
        const int backward = system.CompareStrings(c.b, c.a);
        EXPECT_EQ((forward > 0) - (forward < 0), c.order) << c.rule;
        EXPECT_EQ((backward > 0) - (backward < 0), -c.order) << c.rule << " (the other way round)";
    }
}

}  // namespace
}  // namespace spoolsweep::contract
