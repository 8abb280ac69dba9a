#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/win_errors.h"

namespace spoolsweep::sim {
namespace {

TEST(SimRegistry, AnUnknownHandleIsInvalid) {
    SimMachine sim;
    EXPECT_EQ(sim.machine().registry.QueryValue(12345, u"v", 0).error, win_error::kInvalidHandle);
}

TEST(SimRegistry, TheArchitectureIsAlsoTheSessionEnvironmentsValue) {
    SimMachine sim;
    auto values =
        sim.Values(kHkeyLocalMachine, u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment");
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, u"PROCESSOR_ARCHITECTURE");
    sim.SetNativeArchitecture(kProcessorArchitectureIntel);
    EXPECT_EQ(
        sim.GetValue(kHkeyLocalMachine, u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
                     u"PROCESSOR_ARCHITECTURE"),
        (std::vector<std::uint8_t>{'x', 0, '8', 0, '6', 0, 0, 0}));
}

// Wine takes "A\\\\B" as "A\\B" (measured under Wine 8); the simulated machine refuses an
// empty name, the stricter answer, so that a key path built with an empty name fails in the host tests.
TEST(SimRegistry, RefusesKeyPathsWithEmptyNames) {
    SimMachine sim;
    Registry& registry = sim.machine().registry;
    sim.CreateKey(kHkeyLocalMachine, u"SOFTWARE\\Servers\\srv\\Printers");
    HandleResult trailing = registry.OpenKey(kHkeyLocalMachine, u"SOFTWARE\\Servers\\srv\\Printers\\");
    EXPECT_EQ(trailing.error, 0u);
    registry.CloseKey(trailing.handle);
    EXPECT_NE(registry.OpenKey(kHkeyLocalMachine, u"SOFTWARE\\Servers\\\\srv\\Printers").error, 0u);
    EXPECT_NE(registry.OpenKeyEx(kHkeyLocalMachine, u"\\SOFTWARE", kKeyAllAccess).error, 0u);
    EXPECT_NE(registry.DeleteTree(kHkeyLocalMachine, u"SOFTWARE\\\\Servers").error, 0u);
    EXPECT_TRUE(sim.KeyExists(kHkeyLocalMachine, u"SOFTWARE\\Servers"));
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace spoolsweep::sim
