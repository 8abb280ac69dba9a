#pragma once
// The Windows registry as the program uses it. Keys are opened without a registry-view flag.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/results.h"

namespace spoolsweep {

// The predefined root keys, with their Windows values.
inline constexpr Handle kHkeyCurrentUser = 0x80000001;
inline constexpr Handle kHkeyLocalMachine = 0x80000002;
inline constexpr Handle kHkeyUsers = 0x80000003;

inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;
inline constexpr std::uint32_t kRegNameBufferChars = 260;

// RegQueryValueExW without the type: the size in bytes, and with a buffer the data.
struct ValueResult {
    std::uint32_t error = 0;
    std::uint32_t size = 0;
    std::vector<std::uint8_t> data;
};

struct NameResult {
    std::uint32_t error = 0;
    std::u16string name;
    std::uint32_t type = 0;  // RegEnumValueW: the value's type (REG_SZ, ...); 0 for a key
};

// DoEnvironmentSubstW: expanded is false when the result did not fit (the text is then unchanged).
struct ExpandResult {
    bool expanded = false;
    std::u16string text;
};

class Registry {
  public:
    virtual ~Registry() = default;

    // RegOpenKeyW: an open key for reading.
    [[nodiscard]] virtual HandleResult OpenKey(Handle parent, std::u16string_view path) = 0;
    // RegOpenKeyExW(parent, path, 0, access).
    [[nodiscard]] virtual HandleResult OpenKeyEx(Handle parent, std::u16string_view path,
                                                 std::uint32_t access) = 0;
    virtual void CloseKey(Handle key) = 0;
    // RegQueryValueExW(key, name, NULL, NULL, data, &size); bufferBytes 0 passes no data buffer.
    [[nodiscard]] virtual ValueResult QueryValue(Handle key, std::u16string_view name,
                                                 std::uint32_t bufferBytes) = 0;
    // RegEnumKeyExW / RegEnumValueW at index with a name buffer of nameBufferChars characters.
    [[nodiscard]] virtual NameResult EnumKey(Handle key, std::uint32_t index,
                                             std::uint32_t nameBufferChars) = 0;
    [[nodiscard]] virtual NameResult EnumValue(Handle key, std::uint32_t index,
                                               std::uint32_t nameBufferChars) = 0;
    [[nodiscard]] virtual Status DeleteValue(Handle key, std::u16string_view name) = 0;
    // SHDeleteKeyW: the key with all its subkeys and values.
    [[nodiscard]] virtual Status DeleteTree(Handle parent, std::u16string_view path) = 0;
    // RegCreateKeyExW(parent, name, 0, NULL, REG_OPTION_NON_VOLATILE | REG_OPTION_OPEN_LINK, ...) for each
    // name of path in turn: the key, created first when it is missing. Each key is opened as itself, never
    // through a registry link (REG_LINK): a key on the path that is a link fails the call with
    // kStoppedOnSymlink and nothing is created below it.
    [[nodiscard]] virtual HandleResult CreateKey(Handle parent, std::u16string_view path,
                                                 std::uint32_t access) = 0;
    // RegSetValueExW: the value created or replaced with this type and these bytes.
    [[nodiscard]] virtual Status SetValue(Handle key, std::u16string_view name, std::uint32_t type,
                                          const std::vector<std::uint8_t>& data) = 0;
    // DoEnvironmentSubstW on a buffer of bufferChars characters.
    [[nodiscard]] virtual ExpandResult ExpandEnvironmentStrings(std::u16string_view text,
                                                                std::uint32_t bufferChars) = 0;
};

using RegistryKey = UniqueResource<SeamCloser<Registry, &Registry::CloseKey>>;

}  // namespace spoolsweep
