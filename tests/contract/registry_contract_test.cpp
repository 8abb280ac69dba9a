// The registry seam: opening, value sizes and data, enumeration, deletion and environment expansion.
#include <algorithm>

#include "contract_helpers.h"
#include "platform/registry.h"
#include "world.h"

namespace spoolsweep::contract {
namespace {

class RegistryContract : public WorldTest {
  protected:
    Registry& registry() { return machine().registry; }

    RegistryKey Open(std::u16string_view path) {
        HandleResult opened = registry().OpenKeyEx(kHkeyCurrentUser, path, kKeyAllAccess);
        EXPECT_EQ(opened.error, 0U) << NarrowLowBytes(path);
        return RegistryKey(opened.handle, {&registry()});
    }

    // Index 0, 1, 2, ... until the call fails; the failure must be "no more items".
    template <class Enum>
    std::vector<std::u16string> Names(Enum enumerate) {
        std::vector<std::u16string> names;
        for (std::uint32_t index = 0;; ++index) {
            NameResult result = enumerate(index);
            if (result.error != 0) {
                EXPECT_EQ(result.error, win_error::kNoMoreItems);
                break;
            }
            names.push_back(result.name);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::vector<std::u16string> SubkeyNames(Handle key) {
        return Names([&](std::uint32_t i) { return registry().EnumKey(key, i, kRegNameBufferChars); });
    }
    std::vector<std::u16string> ValueNames(Handle key) {
        return Names([&](std::uint32_t i) { return registry().EnumValue(key, i, kRegNameBufferChars); });
    }
};

TEST_F(RegistryContract, OpensExistingKeysWithoutRegardToLetterCase) {
    std::u16string own = world().OwnKey();
    world().CreateKey(kHkeyCurrentUser, own + u"\\Printers\\Contract");

    HandleResult read = registry().OpenKey(kHkeyCurrentUser, own + u"\\PRINTERS\\contract");
    EXPECT_EQ(read.error, 0U);
    EXPECT_NE(read.handle, 0U);
    RegistryKey readKey(read.handle, {&registry()});

    // A key opened below an open key, as well as below a root.
    HandleResult child = registry().OpenKeyEx(readKey.get(), u"", kKeyAllAccess);
    EXPECT_EQ(child.error, 0U);
    RegistryKey childKey(child.handle, {&registry()});
    HandleResult parent = registry().OpenKey(kHkeyCurrentUser, own);
    RegistryKey parentKey(parent.handle, {&registry()});
    HandleResult relative = registry().OpenKey(parentKey.get(), u"Printers\\Contract");
    EXPECT_EQ(relative.error, 0U);
    RegistryKey relativeKey(relative.handle, {&registry()});
}

TEST_F(RegistryContract, MissingKeysAndNullKeysFail) {
    HandleResult opened = registry().OpenKey(kHkeyCurrentUser, world().OwnKey() + u"\\Missing");
    EXPECT_EQ(opened.handle, 0U);
    EXPECT_EQ(opened.error, win_error::kFileNotFound);
    HandleResult openedEx =
        registry().OpenKeyEx(kHkeyLocalMachine, u"SOFTWARE\\Spoolsweep Contract Missing", kKeyAllAccess);
    EXPECT_EQ(openedEx.handle, 0U);
    EXPECT_EQ(openedEx.error, win_error::kFileNotFound);

    EXPECT_EQ(registry().QueryValue(0, u"Data File", 0).error, win_error::kInvalidHandle);
    EXPECT_EQ(registry().EnumKey(0, 0, kRegNameBufferChars).error, win_error::kInvalidHandle);
    EXPECT_EQ(registry().EnumValue(0, 0, kRegNameBufferChars).error, win_error::kInvalidHandle);
    EXPECT_EQ(registry().DeleteValue(0, u"Data File").error, win_error::kInvalidHandle);

    // Only "\\" separates: "/" belongs to a name ("Generic / Text Only"), and a trailing "\\" names no key.
    std::u16string own = world().OwnKey();
    world().CreateKey(kHkeyCurrentUser, own + u"\\Servers\\Generic / Text Only");
    RegistryKey trailing = Open(own + u"\\Servers\\");
    EXPECT_NE(registry().DeleteTree(kHkeyCurrentUser, own + u"\\Servers\\Generic ").error, 0U);
    EXPECT_EQ(SubkeyNames(trailing.get()), std::vector<std::u16string>{u"Generic / Text Only"});
}

// A value's size first, then its data; a buffer too small reports more data, a missing value size zero.
TEST_F(RegistryContract, ReportsAValueSizeThenItsData) {
    std::u16string own = world().OwnKey();
    world().SetValue(kHkeyCurrentUser, own, u"Data File", kRegSz, StringBytes(u"NorvelAB12.PPD"));
    world().SetValue(kHkeyCurrentUser, own, u"Blob", kRegBinary, {1, 2, 3, 4, 5, 6, 7, 8});
    RegistryKey key = Open(own);

    ValueResult sizing = registry().QueryValue(key.get(), u"data file", 0);
    EXPECT_EQ(sizing.error, 0U);
    ASSERT_EQ(sizing.size, StringBytes(u"NorvelAB12.PPD").size()) << "bytes, terminator included";
    EXPECT_TRUE(sizing.data.empty());
    ValueResult data = registry().QueryValue(key.get(), u"Data File", sizing.size);
    EXPECT_EQ(data.error, 0U);
    EXPECT_EQ(data.size, sizing.size);
    EXPECT_EQ(data.data, StringBytes(u"NorvelAB12.PPD"));

    ValueResult shortBuffer = registry().QueryValue(key.get(), u"Blob", 4);
    EXPECT_EQ(shortBuffer.error, win_error::kMoreData);
    EXPECT_EQ(shortBuffer.size, 8U);
    EXPECT_TRUE(shortBuffer.data.empty());
    ValueResult missing = registry().QueryValue(key.get(), u"Absent", 0);
    EXPECT_EQ(missing.error, win_error::kFileNotFound);
    EXPECT_EQ(missing.size, 0U);
}

TEST_F(RegistryContract, EnumeratesSubkeysAndValuesUntilNoMoreItems) {
    std::u16string own = world().OwnKey();
    world().CreateKey(kHkeyCurrentUser, own + u"\\Bravo");
    world().CreateKey(kHkeyCurrentUser, own + u"\\Alpha\\Deeper");
    world().SetValue(kHkeyCurrentUser, own, u"Second", kRegExpandSz, StringBytes(u"2"));
    world().SetValue(kHkeyCurrentUser, own, u"First", kRegSz, StringBytes(u"1"));
    RegistryKey key = Open(own);

    EXPECT_EQ(SubkeyNames(key.get()), (std::vector<std::u16string>{u"Alpha", u"Bravo"}));
    EXPECT_EQ(ValueNames(key.get()), (std::vector<std::u16string>{u"First", u"Second"}));
    for (std::uint32_t index : {0U, 1U}) {
        const NameResult value = registry().EnumValue(key.get(), index, kRegNameBufferChars);
        EXPECT_EQ(value.type, value.name == u"Second" ? kRegExpandSz : kRegSz) << NarrowLowBytes(value.name);
    }
    // Deleting the first subkey until none is left, as a cleaner empties a key: each listing sees the keys
    // as they are after the last deletion.
    std::vector<std::u16string> deleted;
    for (NameResult first; (first = registry().EnumKey(key.get(), 0, kRegNameBufferChars)).error == 0;) {
        ASSERT_TRUE(registry().DeleteTree(key.get(), first.name).ok()) << NarrowLowBytes(first.name);
        deleted.push_back(first.name);
        ASSERT_LE(deleted.size(), 2U) << "a deleted key is listed again";
    }
    std::sort(deleted.begin(), deleted.end());
    EXPECT_EQ(deleted, (std::vector<std::u16string>{u"Alpha", u"Bravo"}));
}

TEST_F(RegistryContract, ANameLongerThanTheBufferIsNotReturned) {
    std::u16string own = world().OwnKey();
    std::u16string longValue(300, u'v');
    world().SetValue(kHkeyCurrentUser, own, longValue, kRegSz, StringBytes(u"x"));
    world().CreateKey(kHkeyCurrentUser, own + u"\\LongerSubkeyName");
    RegistryKey key = Open(own);

    NameResult value = registry().EnumValue(key.get(), 0, kRegNameBufferChars);
    EXPECT_EQ(value.error, win_error::kMoreData);
    NameResult subkey = registry().EnumKey(key.get(), 0, 4);
    EXPECT_EQ(subkey.error, win_error::kMoreData);
    NameResult fitting = registry().EnumKey(key.get(), 0, kRegNameBufferChars);
    EXPECT_EQ(fitting.error, 0U);
    EXPECT_EQ(fitting.name, u"LongerSubkeyName");
}

TEST_F(RegistryContract, DeletesOneValue) {
    std::u16string own = world().OwnKey();
    world().SetValue(kHkeyCurrentUser, own, u"Gone", kRegSz, StringBytes(u"1"));
    world().SetValue(kHkeyCurrentUser, own, u"Kept", kRegSz, StringBytes(u"2"));
    RegistryKey key = Open(own);

    EXPECT_TRUE(registry().DeleteValue(key.get(), u"GONE").ok());
    EXPECT_FALSE(world().ValueExists(kHkeyCurrentUser, own, u"Gone"));
    EXPECT_TRUE(world().ValueExists(kHkeyCurrentUser, own, u"Kept"));
    EXPECT_EQ(registry().DeleteValue(key.get(), u"Gone").error, win_error::kFileNotFound);
}

TEST_F(RegistryContract, DeletesAKeyWithEverythingBelowIt) {
    std::u16string own = world().OwnKey();
    world().SetValue(kHkeyCurrentUser, own + u"\\Tree\\Branch\\Leaf", u"Value", kRegSz, StringBytes(u"1"));
    world().SetValue(kHkeyCurrentUser, own + u"\\Tree", u"Top", kRegSz, StringBytes(u"1"));
    world().CreateKey(kHkeyCurrentUser, own + u"\\Sibling");

    EXPECT_TRUE(registry().DeleteTree(kHkeyCurrentUser, own + u"\\tree").ok());
    EXPECT_FALSE(world().KeyExists(kHkeyCurrentUser, own + u"\\Tree"));
    EXPECT_TRUE(world().KeyExists(kHkeyCurrentUser, own + u"\\Sibling"));

    // Below an open key too; a missing key is reported and changes nothing.
    world().CreateKey(kHkeyCurrentUser, own + u"\\Second\\Child");
    RegistryKey key = Open(own);
    EXPECT_TRUE(registry().DeleteTree(key.get(), u"Second").ok());
    EXPECT_FALSE(world().KeyExists(kHkeyCurrentUser, own + u"\\Second"));
    EXPECT_EQ(registry().DeleteTree(key.get(), u"Second").error, win_error::kFileNotFound);
    EXPECT_TRUE(world().KeyExists(kHkeyCurrentUser, own + u"\\Sibling"));

    // A key deleted while open fails every later call through its handle.
    world().SetValue(kHkeyCurrentUser, own + u"\\Third", u"v", kRegSz, StringBytes(u"x"));
    RegistryKey third = Open(own + u"\\Third");
    ASSERT_TRUE(registry().DeleteTree(key.get(), u"Third").ok());
    EXPECT_NE(registry().QueryValue(third.get(), u"v", 0).error, 0U) << "a deleted key still read";
    EXPECT_NE(registry().EnumValue(third.get(), 0, kRegNameBufferChars).error, 0U);
}

// The restore's writes: keys created where missing (an existing one opens with its values), values set with
// their type and bytes exactly; a key opened for reading creates and sets nothing.
TEST_F(RegistryContract, CreatesMissingKeysAndSetsValuesWithTypeAndBytes) {
    const std::u16string own = world().OwnKey();
    world().SetValue(kHkeyCurrentUser, own + u"\\Kept", u"Old", kRegSz, StringBytes(u"1"));
    const HandleResult created =
        registry().CreateKey(kHkeyCurrentUser, own + u"\\New\\Deeper", kKeyAllAccess);
    ASSERT_EQ(created.error, 0U);
    const RegistryKey deeper(created.handle, {&registry()});
    EXPECT_TRUE(world().KeyExists(kHkeyCurrentUser, own + u"\\New\\Deeper"));
    const HandleResult existing = registry().CreateKey(kHkeyCurrentUser, own + u"\\KEPT", kKeyAllAccess);
    ASSERT_EQ(existing.error, 0U);
    const RegistryKey kept(existing.handle, {&registry()});
    EXPECT_TRUE(world().ValueExists(kHkeyCurrentUser, own + u"\\Kept", u"Old")) << "creating emptied a key";

    const struct {
        std::u16string name;
        std::uint32_t type;
        std::vector<std::uint8_t> data;
    } kValues[] = {{u"Binary", kRegBinary, {0, 1, 0xFF, 0}},
                   {u"Text", kRegExpandSz, StringBytes(u"%TEMP%")},
                   {u"None", 0, {}}};
    for (const auto& value : kValues) {
        ASSERT_TRUE(registry().SetValue(deeper.get(), value.name, value.type, value.data).ok());
    }
    for (std::uint32_t index = 0; index < std::size(kValues); ++index) {
        const NameResult name = registry().EnumValue(deeper.get(), index, kRegNameBufferChars);
        const auto* value = std::find_if(std::begin(kValues), std::end(kValues),
                                         [&](const auto& candidate) { return candidate.name == name.name; });
        ASSERT_NE(value, std::end(kValues)) << NarrowLowBytes(name.name);
        EXPECT_EQ(name.type, value->type) << "type changed: " << NarrowLowBytes(name.name);
        // Read as the snapshot reads it: the size, then exactly that many bytes.
        const ValueResult size = registry().QueryValue(deeper.get(), value->name, 0);
        const ValueResult data = registry().QueryValue(deeper.get(), value->name, size.size);
        EXPECT_EQ(data.data, value->data) << "bytes changed: " << NarrowLowBytes(name.name);
    }

    const HandleResult read = registry().OpenKeyEx(kHkeyCurrentUser, own + u"\\Kept", 0x20019);
    const RegistryKey readOnly(read.handle, {&registry()});
    EXPECT_EQ(registry().SetValue(readOnly.get(), u"Old", kRegSz, StringBytes(u"2")).error,
              win_error::kAccessDenied);
    EXPECT_EQ(registry().CreateKey(0, u"Child", kKeyAllAccess).error, win_error::kInvalidHandle);
    ASSERT_TRUE(registry().SetValue(deeper.get(), u"Unterminated", kRegSz, {'a', 0, 'b', 0}).ok());
    SKIP_ON_WINE(
        "RegCreateKeyExW creates a subkey below a key opened without KEY_CREATE_SUB_KEY, and "
        "RegQueryValueExW counts a terminator a string value was stored without");
    EXPECT_EQ(registry().CreateKey(readOnly.get(), u"Child", kKeyAllAccess).error, win_error::kAccessDenied);
    EXPECT_FALSE(world().KeyExists(kHkeyCurrentUser, own + u"\\Kept\\Child"));
    EXPECT_EQ(registry().QueryValue(deeper.get(), u"Unterminated", 0).size, 4U)
        << "a string stored without its terminator reads back with one";
}

// A key the restore writes under may be a registry link that a user planted: creating it, or any key below
// it, stops at the link and creates nothing; opening to read follows it.
TEST_F(RegistryContract, CreatingAKeyNeverGoesThroughARegistryLink) {
    const std::u16string own = world().OwnKey();
    world().SetValue(kHkeyCurrentUser, own + u"\\Target", u"Kept", kRegSz, StringBytes(u"1"));
    world().AddKeyLink(own + u"\\Link", own + u"\\Target");
    for (const std::u16string& path : {own + u"\\Link", own + u"\\LINK\\Below\\Deeper"}) {
        const HandleResult created = registry().CreateKey(kHkeyCurrentUser, path, kKeyAllAccess);
        const RegistryKey key(created.handle, {&registry()});
        EXPECT_EQ(created.error, win_error::kStoppedOnSymlink) << NarrowLowBytes(path);
    }
    EXPECT_FALSE(world().KeyExists(kHkeyCurrentUser, own + u"\\Target\\Below"));
    const HandleResult read = registry().OpenKeyEx(kHkeyCurrentUser, own + u"\\Link", 0x20019);
    const RegistryKey linked(read.handle, {&registry()});
    EXPECT_EQ(registry().QueryValue(linked.get(), u"Kept", 0).error, 0U) << "opening did not follow the link";
}

// An expansion that does not fit leaves the text as it was.
TEST_F(RegistryContract, ExpandsEnvironmentVariablesInPlace) {
    world().SetEnvironmentVariable(u"SPSW_CONTRACT_DIR", u"C:\\Contract");
    world().SetEnvironmentVariable(u"SPSW_CONTRACT_LONG", std::u16string(300, u'x'));

    ExpandResult expanded =
        registry().ExpandEnvironmentStrings(u"%SPSW_CONTRACT_DIR%\\Temp %SPSW_CONTRACT_UNSET%", 260);
    EXPECT_TRUE(expanded.expanded);
    EXPECT_EQ(expanded.text, u"C:\\Contract\\Temp %SPSW_CONTRACT_UNSET%");
    ExpandResult tooLong = registry().ExpandEnvironmentStrings(u"%SPSW_CONTRACT_LONG%", 260);
    EXPECT_FALSE(tooLong.expanded);
    EXPECT_EQ(tooLong.text, u"%SPSW_CONTRACT_LONG%");
}

}  // namespace
}  // namespace spoolsweep::contract
