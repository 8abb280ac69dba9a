#pragma once
// Small conversions between the program's wide text and the narrow text of the console and the log.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace spoolsweep {

// Plain ASCII to UTF-16 (for literals and numbers built as narrow text).
[[nodiscard]] inline std::u16string WidenAscii(std::string_view text) {
    return {text.begin(), text.end()};
}

// Each UTF-16 unit cut to its low 8 bits: the narrow form of printer names on the console.
[[nodiscard]] inline std::string NarrowLowBytes(std::u16string_view text) {
    std::string narrow;
    narrow.reserve(text.size());
    for (char16_t unit : text) {
        narrow.push_back(static_cast<char>(static_cast<unsigned char>(unit & 0xFF)));
    }
    return narrow;
}

// Equal when only the letter case of A-Z differs, as the file system compares the names this program builds.
[[nodiscard]] inline bool EqualIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
    const auto fold = [](char16_t unit) {
        return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
    };
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i])) {
            return false;
        }
    }
    return true;
}

// Text up to its first null character.
[[nodiscard]] inline std::u16string_view UpToNull(std::u16string_view text) {
    return text.substr(0, text.find(u'\0'));
}

// Replaces the first "%s" of a fixed pattern; the argument is taken as it stands.
[[nodiscard]] inline std::u16string FormatOne(std::u16string_view pattern, std::u16string_view argument) {
    std::u16string result(pattern);
    if (auto at = result.find(u"%s"); at != std::u16string::npos) {
        result.replace(at, 2, argument);
    }
    return result;
}

// A string as the registry stores it: UTF-16 units, low byte first, with the terminating null.
[[nodiscard]] inline std::vector<std::uint8_t> StringBytes(std::u16string_view text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve((text.size() + 1) * 2);
    for (char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

}  // namespace spoolsweep
