// The registry seam over advapi32 and the shell's key deletion.
#include <algorithm>
#include <vector>

#include "platform/win32/unique_handles.h"
#include "platform/win32/win32_seams.h"
#include "platform/win32/windows_api.h"
#include "platform/win_errors.h"

namespace spoolsweep::win32 {
namespace {

// The predefined roots are sign-extended 32-bit values on 64-bit Windows; the portable values are the
// 32-bit ones, so the three roots are mapped by name.
HKEY AsKey(Handle key) {
    switch (key) {
        case kHkeyCurrentUser:
            return HKEY_CURRENT_USER;
        case kHkeyLocalMachine:
            return HKEY_LOCAL_MACHINE;
        case kHkeyUsers:
            return HKEY_USERS;
        default:
            return FromPortable<HKEY>(key);
    }
}

HandleResult KeyOutcome(LSTATUS status, HKEY key) {
    return {status == ERROR_SUCCESS ? ToPortable(key) : 0, static_cast<std::uint32_t>(status)};
}

}  // namespace

HandleResult Win32Registry::OpenKey(Handle parent, std::u16string_view path) {
    std::wstring subkey = Wide(path);
    HKEY key = nullptr;
    LSTATUS status = ::RegOpenKeyW(AsKey(parent), subkey.c_str(), &key);
    return KeyOutcome(status, key);
}

HandleResult Win32Registry::OpenKeyEx(Handle parent, std::u16string_view path, std::uint32_t access) {
    std::wstring subkey = Wide(path);
    HKEY key = nullptr;
    LSTATUS status = ::RegOpenKeyExW(AsKey(parent), subkey.c_str(), 0, access, &key);
    return KeyOutcome(status, key);
}

void Win32Registry::CloseKey(Handle key) {
    unique_hkey owner(AsKey(key));
}

ValueResult Win32Registry::QueryValue(Handle key, std::u16string_view name, std::uint32_t bufferBytes) {
    std::wstring valueName = Wide(name);
    std::vector<BYTE> data(bufferBytes);
    DWORD size = bufferBytes;
    LSTATUS status = ::RegQueryValueExW(AsKey(key), valueName.c_str(), nullptr, nullptr,
                                        data.empty() ? nullptr : data.data(), &size);
    ValueResult result;
    result.error = static_cast<std::uint32_t>(status);
    result.size = size;
    if (status == ERROR_SUCCESS && !data.empty()) {
        data.resize(size);
        result.data = std::move(data);
    }
    return result;
}

NameResult Win32Registry::EnumKey(Handle key, std::uint32_t index, std::uint32_t nameBufferChars) {
    std::vector<wchar_t> name(nameBufferChars + 1);
    DWORD length = nameBufferChars;
    LSTATUS status =
        ::RegEnumKeyExW(AsKey(key), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    NameResult result{static_cast<std::uint32_t>(status), {}};
    if (status == ERROR_SUCCESS) {
        result.name = FromWide(name.data(), length);
    }
    return result;
}

NameResult Win32Registry::EnumValue(Handle key, std::uint32_t index, std::uint32_t nameBufferChars) {
    std::vector<wchar_t> name(nameBufferChars + 1);
    DWORD length = nameBufferChars;
    DWORD type = 0;
    LSTATUS status =
        ::RegEnumValueW(AsKey(key), index, name.data(), &length, nullptr, &type, nullptr, nullptr);
    NameResult result{static_cast<std::uint32_t>(status), {}};
    if (status == ERROR_SUCCESS) {
        result.name = FromWide(name.data(), length);
        result.type = type;
    }
    return result;
}

Status Win32Registry::DeleteValue(Handle key, std::u16string_view name) {
    std::wstring valueName = Wide(name);
    return {static_cast<std::uint32_t>(::RegDeleteValueW(AsKey(key), valueName.c_str()))};
}

Status Win32Registry::DeleteTree(Handle parent, std::u16string_view path) {
    std::wstring subkey = Wide(path);
    return {static_cast<std::uint32_t>(::SHDeleteKeyW(AsKey(parent), subkey.c_str()))};
}

HandleResult Win32Registry::CreateKey(Handle parent, std::u16string_view path, std::uint32_t access) {
    // One name at a time: REG_OPTION_OPEN_LINK applies to the last name of a path only, and every key on
    // the way must be itself. A link is known by its REG_LINK value "SymbolicLinkValue".
    unique_hkey held;
    HKEY at = AsKey(parent);
    for (std::size_t start = 0;;) {
        const std::size_t end = path.find(u'\\', start);
        const bool last = end == std::u16string_view::npos;
        const std::wstring name = Wide(path.substr(start, last ? path.size() - start : end - start));
        unique_hkey key;
        const LSTATUS status = ::RegCreateKeyExW(
            at, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE | REG_OPTION_OPEN_LINK,
            (last ? access : KEY_CREATE_SUB_KEY) | KEY_QUERY_VALUE, nullptr, key.put(), nullptr);
        if (status != ERROR_SUCCESS) {
            return {0, static_cast<std::uint32_t>(status)};
        }
        DWORD type = REG_NONE;
        if (::RegQueryValueExW(key.get(), L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) ==
                ERROR_SUCCESS &&
            type == REG_LINK) {
            return {0, win_error::kStoppedOnSymlink};
        }
        if (last) {
            return {ToPortable(key.release()), 0};
        }
        held = std::move(key);
        at = held.get();
        start = end + 1;
    }
}

Status Win32Registry::SetValue(Handle key, std::u16string_view name, std::uint32_t type,
                               const std::vector<std::uint8_t>& data) {
    std::wstring valueName = Wide(name);
    return {static_cast<std::uint32_t>(::RegSetValueExW(AsKey(key), valueName.c_str(), 0, type,
                                                        data.empty() ? nullptr : data.data(),
                                                        static_cast<DWORD>(data.size())))};
}

ExpandResult Win32Registry::ExpandEnvironmentStrings(std::u16string_view text, std::uint32_t bufferChars) {
    std::vector<wchar_t> buffer(bufferChars + 1, L'\0');
    std::size_t kept = bufferChars == 0 ? 0 : std::min<std::size_t>(text.size(), bufferChars - 1);
    std::copy_n(reinterpret_cast<const wchar_t*>(text.data()), kept, buffer.data());
    DWORD outcome = ::DoEnvironmentSubstW(buffer.data(), bufferChars);
    return {HIWORD(outcome) != FALSE, FromWide(buffer.data())};
}

}  // namespace spoolsweep::win32
