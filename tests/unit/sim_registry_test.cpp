#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/win_errors.h"

namespace spoolsweep::sim {
namespace {

TEST(SimRegistry, KeyDeletedWhileOpenFailsItsLaterCalls) {
    SimMachine sim;
    Registry& registry = sim.machine().registry;
    sim.SetString(kHkeyCurrentUser, u"A\\B", u"v", u"x");
    HandleResult key = registry.OpenKeyEx(kHkeyCurrentUser, u"A\\B", kKeyAllAccess);
    ASSERT_TRUE(registry.DeleteTree(kHkeyCurrentUser, u"A").ok());
    EXPECT_NE(registry.QueryValue(key.handle, u"v", 0).error, 0u);
    EXPECT_NE(registry.EnumValue(key.handle, 0, kRegNameBufferChars).error, 0u);
    registry.CloseKey(key.handle);
    EXPECT_EQ(registry.QueryValue(12345, u"v", 0).error, win_error::kInvalidHandle);
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

// Windows key names may hold "/" (a printer or driver named "Generic / Text Only"); only "\\" separates.
TEST(SimRegistry, SlashIsPartOfAKeyName) {
    SimMachine sim;
    sim.CreateKey(kHkeyCurrentUser, u"Printers\\Settings\\Printers\\Generic / Text Only");
    EXPECT_EQ(sim.SubkeyNames(kHkeyCurrentUser, u"Printers\\Settings\\Printers"),
              std::vector<std::u16string>{u"Generic / Text Only"});
    EXPECT_NE(sim.machine().registry.DeleteTree(kHkeyCurrentUser, u"Printers\\Settings\\Printers\\//").error,
              0u);
    EXPECT_TRUE(sim.KeyExists(kHkeyCurrentUser, u"Printers\\Settings\\Printers\\Generic / Text Only"));
}

}  // namespace
}  // namespace spoolsweep::sim
