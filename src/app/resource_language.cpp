#include "app/resource_language.h"

#include "platform/text.h"

#include <array>
#include <utility>

namespace spoolsweep {
namespace {

constexpr std::uint32_t kLineBufferChars = 100;
constexpr std::uint32_t kSuffixBufferChars = 4;  // three letters and the terminator
constexpr std::u16string_view kServerLanguageKey = u"serverlang=";
constexpr std::u16string_view kCodeDelimiters = u" \t\n";

struct LanguageCode {
    std::u16string_view code;
    std::u16string_view suffix;
};

// Searched in this order.
constexpr std::array<LanguageCode, 19> kLanguageCodes{{
    {u"en", u"ENU"}, {u"es", u"ESP"}, {u"it", u"ITA"}, {u"fr", u"FRA"}, {u"de", u"DEU"},
    {u"ja", u"JPN"}, {u"pt", u"PTB"}, {u"nl", u"NLD"}, {u"cz", u"CSY"}, {u"da", u"DAN"},
    {u"fi", u"FIN"}, {u"ko", u"KOR"}, {u"no", u"NOR"}, {u"pl", u"PLK"}, {u"ru", u"RUS"},
    {u"sc", u"CHS"}, {u"sw", u"SME"}, {u"tc", u"TCH"}, {u"tu", u"TRK"},
}};

// Locale abbreviations whose libraries ship under another suffix.
constexpr std::array<std::pair<std::u16string_view, std::u16string_view>, 2> kSuffixCorrections{{
    {u"ESN", u"ESP"},
    {u"CHT", u"TCH"},
}};

// The token after "serverlang=" up to a blank, tab or line feed, leading ones skipped; empty when none.
std::u16string_view FindLanguageCode(std::u16string_view line) {
    const std::size_t key = line.find(kServerLanguageKey);
    if (key == std::u16string_view::npos) {
        return {};
    }
    std::u16string_view rest = line.substr(key + kServerLanguageKey.size());
    const std::size_t start = rest.find_first_not_of(kCodeDelimiters);
    if (start == std::u16string_view::npos) {
        return {};
    }
    rest.remove_prefix(start);
    return rest.substr(0, rest.find_first_of(kCodeDelimiters));
}

std::optional<std::u16string_view> FindSuffix(std::u16string_view code) {
    for (const LanguageCode& entry : kLanguageCodes) {
        if (EqualIgnoringAsciiCase(entry.code, code)) {
            return entry.suffix;
        }
    }
    return std::nullopt;
}

std::u16string CorrectSuffix(std::u16string suffix) {
    for (const auto& [from, to] : kSuffixCorrections) {
        if (suffix == from) {
            return std::u16string(to);
        }
    }
    return suffix;
}

bool CanOpenServerLanguageFile(Files& files) {
    TextFile file(files.OpenTextForUpdate(kServerLanguageFile), {&files});
    return static_cast<bool>(file);
}

}  // namespace

std::optional<std::u16string> ReadServerLanguage(Files& files) {
    TextFile file(files.OpenTextForUpdate(kServerLanguageFile), {&files});
    if (!file) {
        return std::nullopt;
    }
    // A line longer than the buffer arrives in pieces, each searched as a line of its own.
    while (true) {
        const std::optional<std::u16string> piece = files.ReadTextLine(file.get(), kLineBufferChars);
        if (!piece.has_value()) {
            return std::nullopt;
        }
        if (std::optional<std::u16string_view> suffix = FindSuffix(FindLanguageCode(*piece))) {
            return std::u16string(*suffix);
        }
    }
}

std::size_t FindExtension(std::u16string_view path) {
    std::size_t dot = std::u16string_view::npos;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == u'\\' || path[i] == u' ') {
            dot = std::u16string_view::npos;
        } else if (path[i] == u'.') {
            dot = i;
        }
    }
    return dot == std::u16string_view::npos ? path.size() : dot;
}

Handle SelectResourceLanguage(Files& files, System& system) {
    std::optional<std::u16string> suffix;
    if (CanOpenServerLanguageFile(files)) {
        suffix = ReadServerLanguage(files);
    }
    if (!suffix) {
        suffix = system.GetLocaleAbbrevLanguage(kLocaleSystemDefault, kSuffixBufferChars);
        if (!suffix) {
            return 0;
        }
    }
    // The library is looked for by the program's full path only: without that path a bare file name would
    // send the loader searching the current and system folders for a library of that name.
    const std::u16string program = system.GetModuleFileName();
    if (program.empty()) {
        return 0;
    }
    const std::u16string library =
        program.substr(0, FindExtension(program)) + CorrectSuffix(*suffix) + u".dll";
    const Handle module = system.LoadLibrary(library);
    if (module != 0) {
        system.SetResourceModule(module);
    }
    return module;
}

}  // namespace spoolsweep
