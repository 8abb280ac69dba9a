#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/win_errors.h"

namespace spoolsweep::sim {
namespace {

std::vector<std::u16string> EnumerateSubkeys(Registry& registry, Handle key, std::uint32_t bufferChars) {
    std::vector<std::u16string> names;
    for (std::uint32_t index = 0;; ++index) {
        NameResult result = registry.EnumKey(key, index, bufferChars);
        if (result.error != 0) {
            break;
        }
        names.push_back(result.name);
    }
    return names;
}

TEST(SimRegistry, OpensKeysWithoutRegardToCaseAndKeepsHivesApart) {
    SimMachine sim;
    Registry& registry = sim.machine().registry;
    sim.SetString(kHkeyCurrentUser, u"Software\\Norvel\\Trackwell", u"Path", u"x");

    HandleResult user = registry.OpenKey(kHkeyCurrentUser, u"SOFTWARE\\norvel\\TRACKWELL");
    ASSERT_EQ(user.error, 0u);
    EXPECT_NE(user.handle, 0u);
    EXPECT_EQ(registry.OpenKeyEx(kHkeyUsers, u".DEFAULT\\Software\\Norvel\\Trackwell", kKeyAllAccess).error,
              win_error::kFileNotFound);
    EXPECT_EQ(registry.OpenKeyEx(kHkeyLocalMachine, u"Software\\Norvel", kKeyAllAccess).error,
              win_error::kFileNotFound);
    registry.CloseKey(user.handle);
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
    registry.CloseKey(user.handle);
    EXPECT_EQ(sim.BadHandleCloses(), 1u);
    EXPECT_EQ(sim.calls().Count("RegCloseKey"), 2u);
}

TEST(SimRegistry, QueriesSizeThenDataAndReportsMissingValuesAsEmpty) {
    SimMachine sim;
    Registry& registry = sim.machine().registry;
    sim.SetString(kHkeyLocalMachine, u"Key", u"Data File", u"NorvelAB12.PPD");
    HandleResult key = registry.OpenKey(kHkeyLocalMachine, u"key");
    ASSERT_EQ(key.error, 0u);

    ValueResult size = registry.QueryValue(key.handle, u"data file", 0);
    EXPECT_EQ(size.error, 0u);
    EXPECT_EQ(size.size, 2u * 15u);
    EXPECT_TRUE(size.data.empty());
    EXPECT_EQ(registry.QueryValue(key.handle, u"Data File", size.size - 1).error, win_error::kMoreData);
    ValueResult data = registry.QueryValue(key.handle, u"Data File", size.size);
    EXPECT_EQ(data.error, 0u);
    ASSERT_EQ(data.data.size(), 30u);
    EXPECT_EQ(data.data[0], 'N');
    EXPECT_EQ(data.data[28], 0);

    ValueResult missing = registry.QueryValue(key.handle, u"Nope", 0);
    EXPECT_EQ(missing.error, win_error::kFileNotFound);
    EXPECT_EQ(missing.size, 0u);
    registry.CloseKey(key.handle);
}

TEST(SimRegistry, EnumeratesSubkeysAlphabeticallyAndValuesInCreationOrder) {
    SimMachine sim;
    Registry& registry = sim.machine().registry;
    sim.CreateKey(kHkeyCurrentUser, u"P\\beta");
    sim.CreateKey(kHkeyCurrentUser, u"P\\Alpha");
    sim.CreateKey(kHkeyCurrentUser, u"P\\GAMMA");
    sim.SetString(kHkeyCurrentUser, u"P", u"zed", u"1");
    sim.SetString(kHkeyCurrentUser, u"P", u"Ant", u"2");
    HandleResult key = registry.OpenKeyEx(kHkeyCurrentUser, u"P", kKeyAllAccess);
    ASSERT_EQ(key.error, 0u);

    EXPECT_EQ(EnumerateSubkeys(registry, key.handle, kRegNameBufferChars),
              (std::vector<std::u16string>{u"Alpha", u"beta", u"GAMMA"}));
    EXPECT_EQ(registry.EnumKey(key.handle, 3, kRegNameBufferChars).error, win_error::kNoMoreItems);
    EXPECT_EQ(registry.EnumValue(key.handle, 0, kRegNameBufferChars).name, u"zed");
    EXPECT_EQ(registry.EnumValue(key.handle, 1, kRegNameBufferChars).name, u"Ant");
    EXPECT_EQ(registry.EnumValue(key.handle, 2, kRegNameBufferChars).error, win_error::kNoMoreItems);
    registry.CloseKey(key.handle);
}

TEST(SimRegistry, NameThatFillsTheBufferStopsTheEnumeration) {
    SimMachine sim;
    Registry& registry = sim.machine().registry;
    sim.CreateKey(kHkeyCurrentUser, u"P\\a");
    sim.CreateKey(kHkeyCurrentUser, u"P\\b" + std::u16string(259, u'x'));  // 260 characters
    sim.CreateKey(kHkeyCurrentUser, u"P\\c");
    sim.SetString(kHkeyCurrentUser, u"P", std::u16string(260, u'v'), u"");
    HandleResult key = registry.OpenKeyEx(kHkeyCurrentUser, u"P", kKeyAllAccess);

    EXPECT_EQ(EnumerateSubkeys(registry, key.handle, kRegNameBufferChars), std::vector<std::u16string>{u"a"});
    EXPECT_EQ(registry.EnumKey(key.handle, 1, kRegNameBufferChars).error, win_error::kMoreData);
    EXPECT_EQ(registry.EnumKey(key.handle, 1, 261).error, 0u);
    EXPECT_EQ(registry.EnumValue(key.handle, 0, kRegNameBufferChars).error, win_error::kMoreData);
    registry.CloseKey(key.handle);
}

TEST(SimRegistry, DeletesValuesAndTreesAndJournalsThem) {
    SimMachine sim;
    Registry& registry = sim.machine().registry;
    sim.SetString(kHkeyLocalMachine, u"SYSTEM\\CurrentControlSet\\Control\\Print\\Forms", u"Custom1", u"x");
    sim.SetString(kHkeyCurrentUser, u"Printers\\Settings\\Printers\\P1\\Sub", u"v", u"x");
    HandleResult forms = registry.OpenKeyEx(
        kHkeyLocalMachine, u"system\\currentcontrolset\\control\\print\\forms", kKeyAllAccess);
    ASSERT_EQ(forms.error, 0u);

    EXPECT_TRUE(registry.DeleteValue(forms.handle, u"CUSTOM1").ok());
    EXPECT_EQ(registry.DeleteValue(forms.handle, u"Custom1").error, win_error::kFileNotFound);
    registry.CloseKey(forms.handle);
    EXPECT_TRUE(registry.DeleteTree(kHkeyCurrentUser, u"printers\\settings\\printers\\p1").ok());
    EXPECT_FALSE(sim.KeyExists(kHkeyCurrentUser, u"Printers\\Settings\\Printers\\P1"));
    EXPECT_TRUE(sim.KeyExists(kHkeyCurrentUser, u"Printers\\Settings\\Printers"));
    EXPECT_EQ(registry.DeleteTree(kHkeyCurrentUser, u"Printers\\Settings\\Printers\\P1").error,
              win_error::kFileNotFound);
    EXPECT_EQ(registry.OpenKey(kHkeyCurrentUser, u"Printers\\Settings\\Printers\\P1").error,
              win_error::kFileNotFound);

    EXPECT_EQ(sim.journal(),
              (std::vector<std::string>{
                  "RegDeleteValueW HKLM\\SYSTEM\\CurrentControlSet\\Control\\Print\\Forms Custom1",
                  "SHDeleteKeyW HKCU\\Printers\\Settings\\Printers\\P1",
              }));
}

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

TEST(SimRegistry, ExpandsEnvironmentVariablesWithinTheBuffer) {
    SimMachine sim;
    Registry& registry = sim.machine().registry;
    ExpandResult temp = registry.ExpandEnvironmentStrings(u"%USERPROFILE%\\AppData\\Local\\Temp", 260);
    EXPECT_TRUE(temp.expanded);
    EXPECT_EQ(temp.text, u"C:\\Users\\admin\\AppData\\Local\\Temp");
    EXPECT_EQ(registry.ExpandEnvironmentStrings(u"%systemroot%\\x", 260).text, u"C:\\Windows\\x");
    EXPECT_EQ(registry.ExpandEnvironmentStrings(u"%NOPE%\\%TEMP%", 260).text,
              u"%NOPE%\\C:\\Users\\admin\\AppData\\Local\\Temp");

    // "C:\Users\admin" is 14 characters: it fits a buffer of 15, not one of 14.
    EXPECT_TRUE(registry.ExpandEnvironmentStrings(u"%USERPROFILE%", 15).expanded);
    ExpandResult tooLong = registry.ExpandEnvironmentStrings(u"%USERPROFILE%", 14);
    EXPECT_FALSE(tooLong.expanded);
    EXPECT_EQ(tooLong.text, u"%USERPROFILE%");

    sim.SetEnvironmentVariable(u"userprofile", u"D:\\Profiles\\x");
    EXPECT_EQ(registry.ExpandEnvironmentStrings(u"%USERPROFILE%", 260).text, u"D:\\Profiles\\x");
}

TEST(SimRegistry, FreshMachineHasTheUserTempSettingAndArchitecture) {
    SimMachine sim;
    auto temp = sim.GetValue(kHkeyCurrentUser, u"Environment", u"Temp");
    ASSERT_TRUE(temp.has_value());
    EXPECT_EQ(temp->size(), 2u * (std::u16string(u"%USERPROFILE%\\AppData\\Local\\Temp").size() + 1));
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

}  // namespace
}  // namespace spoolsweep::sim
