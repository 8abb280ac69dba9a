// System information, time, console and message boxes of the simulated machine.
#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_seams.h"

namespace spoolsweep::sim {

namespace {

constexpr std::uint32_t kCpUtf8 = 65001;

// Code page 1252 bytes 0x80-0x9F; 0 where the code page has no character (those bytes map to themselves).
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char ToWindows1252(char16_t unit) {
    if (unit < 0x80 || unit >= 0xA0) {
        return unit <= 0xFF ? static_cast<char>(static_cast<unsigned char>(unit)) : '?';
    }
    // U+0080..U+009F: only the five bytes the code page leaves undefined round-trip.
    return kWindows1252High[unit - 0x80] == 0 ? static_cast<char>(static_cast<unsigned char>(unit)) : '?';
}

// lstrcmpW's rules, as far as this program compares names: a linguistic comparison in three levels. Letters
// compare by their alphabet first, case and accents aside; then accents; then case, lower before upper.
// Characters that carry no weight (the soft hyphen) are passed over, and a letter written with a combining
// accent equals the precomposed letter.
constexpr char16_t kSoftHyphen = 0x00AD;
constexpr char16_t kCombiningFirst = 0x0300;
constexpr char16_t kCombiningLast = 0x036F;

// U+00C0..U+00FF as base letter and combining accent (0: none, the character stands for itself).
constexpr std::u16string_view kLatin1Bases =
    u"AAAAAA\u00C6CEEEEIIII\u00D0NOOOOO\u00D7\u00D8UUUUY\u00DE\u00DF";
constexpr std::array<char16_t, 32> kLatin1Accents = {0x300, 0x301, 0x302, 0x303, 0x308, 0x30A, 0,     0x327,
                                                     0x300, 0x301, 0x302, 0x308, 0x300, 0x301, 0x302, 0x308,
                                                     0,     0x303, 0x300, 0x301, 0x302, 0x303, 0x308, 0,
                                                     0,     0x300, 0x301, 0x302, 0x308, 0x301, 0,     0};

bool IsUpper(char16_t unit) {
    return (unit >= u'A' && unit <= u'Z') || (unit >= 0xC0 && unit <= 0xDE && unit != 0xD7);
}

char16_t ToLower(char16_t unit) {
    return IsUpper(unit) ? static_cast<char16_t>(unit + 0x20) : unit;
}

// One weighed character: its letter, the accents written on it and whether it was upper case.
struct Weighed {
    std::uint32_t primary = 0;
    std::u16string accents;
    bool upper = false;
};

// Punctuation and symbols sort before digits, digits before letters, as the user's locale orders them.
std::uint32_t PrimaryWeight(char16_t lower) {
    if (lower >= u'0' && lower <= u'9') {
        return 0x10000U + lower;
    }
    if ((lower >= u'a' && lower <= u'z') || lower >= 0xC0) {
        return 0x20000U + lower;
    }
    return lower;
}

std::vector<Weighed> Weigh(std::u16string_view text) {
    std::vector<Weighed> weighed;
    for (char16_t unit : text) {
        if (unit == kSoftHyphen) {
            continue;
        }
        if (unit >= kCombiningFirst && unit <= kCombiningLast && !weighed.empty()) {
            weighed.back().accents += unit;
            continue;
        }
        Weighed next;
        next.upper = IsUpper(unit);
        char16_t base = unit;
        if (unit == 0xFF) {
            base = u'y';
            next.accents += char16_t{0x308};
        } else if (unit >= 0xC0 && kLatin1Accents[unit & 0x1FU] != 0) {
            base = kLatin1Bases[unit & 0x1FU];
            next.accents += kLatin1Accents[unit & 0x1FU];
        }
        next.primary = PrimaryWeight(ToLower(base));
        weighed.push_back(std::move(next));
    }
    return weighed;
}

int Sign(int value) {
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

int CompareLinguistic(std::u16string_view a, std::u16string_view b) {
    const std::vector<Weighed> first = Weigh(a);
    const std::vector<Weighed> second = Weigh(b);
    const std::size_t common = std::min(first.size(), second.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (first[i].primary != second[i].primary) {
            return first[i].primary < second[i].primary ? -1 : 1;
        }
    }
    if (first.size() != second.size()) {
        return first.size() < second.size() ? -1 : 1;
    }
    for (std::size_t i = 0; i < common; ++i) {
        if (const int order = first[i].accents.compare(second[i].accents); order != 0) {
            return Sign(order);
        }
    }
    for (std::size_t i = 0; i < common; ++i) {
        if (first[i].upper != second[i].upper) {
            return first[i].upper ? 1 : -1;
        }
    }
    return 0;
}

}  // namespace

OsVersionInfo SimSystem::QueryOsVersion() {
    if (world_.Enter("GetVersionExW") != 0) {
        return {};
    }
    return {true, world_.osMajor, world_.osMinor, world_.osBuild};
}

std::uint16_t SimSystem::NativeProcessorArchitecture() {
    (void)world_.Enter("GetNativeSystemInfo");  // cannot fail
    return world_.architecture;
}

std::string SimSystem::WideToMultiByte(std::u16string_view text, std::uint32_t codePage) {
    if (world_.Enter("WideCharToMultiByte", text) != 0) {
        return {};
    }
    if (codePage == kCpThreadAcp) {
        codePage = world_.threadCodePage;
    }
    if (codePage == kCpUtf8) {
        return ToUtf8(text);
    }
    // The system's ANSI code page (CP_ACP) is 1252, as on a Western European Windows.
    std::string narrow;
    narrow.reserve(text.size());
    for (char16_t unit : text) {
        char mapped = '?';
        if (unit >= 0x100) {
            for (std::size_t i = 0; i < kWindows1252High.size(); ++i) {
                if (kWindows1252High[i] == unit) {
                    mapped = static_cast<char>(0x80 + i);
                }
            }
        } else {
            mapped = ToWindows1252(unit);
        }
        narrow.push_back(mapped);
    }
    return narrow;
}

std::tm SimSystem::LocalTime() {
    (void)world_.Enter("GetLocalTime");
    return world_.localTime;
}

std::uint32_t SimSystem::TickCount() {
    (void)world_.Enter("GetTickCount");
    return world_.tick;
}

void SimSystem::Sleep(std::uint32_t milliseconds) {
    (void)world_.Enter("Sleep");
    world_.tick += milliseconds;
}

int SimSystem::MessageBox(std::u16string_view text, std::u16string_view caption, std::uint32_t style) {
    if (world_.Enter("MessageBoxW", text) != 0) {
        return 0;
    }
    world_.messageBoxes.push_back({std::u16string(text), std::u16string(caption), style});
    if (!world_.queuedAnswers.empty()) {
        int answer = world_.queuedAnswers.front();
        world_.queuedAnswers.erase(world_.queuedAnswers.begin());
        return answer;
    }
    return world_.messageBoxAnswer;
}

void SimSystem::InitCommonControls(std::uint32_t classes) {
    if (world_.Enter("InitCommonControlsEx") == 0) {
        world_.commonControlClasses |= classes;
    }
}

bool SimSystem::AttachParentConsole() {
    if (world_.Enter("AttachConsole") != 0) {
        return false;
    }
    world_.consoleAttached = world_.consoleAttachable;
    return world_.consoleAttached;
}

void SimSystem::WriteStdout(std::string_view text) {
    if (world_.Enter("fwrite") != 0) {
        return;
    }
    // A program without a console (started from a shortcut) writes into nothing.
    if (world_.consoleAttached) {
        world_.stdoutText += text;
    }
}

std::u16string SimSystem::CommandLine() {
    (void)world_.Enter("GetCommandLineW");
    return world_.commandLine;
}

// The entries of the program's string table, as the exe carries them.
std::map<std::uint32_t, std::u16string> World::DefaultStringTable() {
    return {
        {101, u"&About Spoolsweep..."},
        {102, u"Spoolsweep"},
        {103, u"There are no Printers installed on the system."},
        {104,
         u"In case all the Installed Printers need to be deleted, please check the box - Delete All "
         u"Printer Drivers"},
        {105,
         u"Driver- %s is being used by some other PNP Printer also,So only Printer- %s will be deleted and "
         u"underlying Driver will remain."},
        {129, u"Please note that ALL Printer Drivers will be deleted from the system. Click OK to continue."},
        {130,
         u"The following Printers cannot be deleted, because they still have Print Jobs queued to them.\n\n"},
        {140, u"Version:"},
        {147, u"No Printer has been selected for deletion, please select it."},
        {1010,
         u"Please close all the applications before proceeding to delete the Printer Driver.\nIf the "
         u"applications are closed then please press OK to continue deleting the Printer Driver else press "
         u"Cancel to abort the deletion of Printer Driver."},
        {1011,
         u"Select OK to delete the Tamber Driver and your associated presets.\nSelect Cancel to delete only "
         u"the Tamber Driver."},
    };
}

std::u16string SimSystem::LoadString(std::uint32_t id) {
    if (world_.Enter("LoadStringW") != 0) {
        return {};
    }
    auto found = world_.strings.find(id);
    return found == world_.strings.end() ? std::u16string() : found->second;
}

int SimSystem::CompareStrings(std::u16string_view a, std::u16string_view b) {
    (void)world_.Enter("lstrcmpW");  // cannot fail
    return CompareLinguistic(a, b);
}

std::optional<std::u16string> SimSystem::GetLocaleAbbrevLanguage(std::uint32_t locale,
                                                                 std::uint32_t bufferChars) {
    if (world_.Enter("GetLocaleInfoW") != 0 || locale != kLocaleSystemDefault ||
        !world_.localeAbbrevLanguage) {
        return std::nullopt;
    }
    // The name and its terminator must fit the buffer, or the call fails (ERROR_INSUFFICIENT_BUFFER).
    if (world_.localeAbbrevLanguage->size() + 1 > bufferChars) {
        return std::nullopt;
    }
    return world_.localeAbbrevLanguage;
}

std::u16string SimSystem::GetModuleFileName() {
    if (world_.Enter("GetModuleFileNameW") != 0 || world_.modulePath.size() >= kMaxPath) {
        return {};
    }
    return world_.modulePath;
}

// A library loads when a file stands at its path; what it holds is not simulated.
Handle SimSystem::LoadLibrary(std::u16string_view path) {
    if (world_.Enter("LoadLibraryExW", path) != 0) {
        return 0;
    }
    auto full = world_.Normalize(path);
    if (!full) {
        return 0;
    }
    const FileNode* node = world_.Node(*full);
    if (node == nullptr || node->folder) {
        return 0;
    }
    Handle handle = world_.NewHandle();
    world_.libraries[handle] = *full;
    return handle;
}

void SimSystem::SetResourceModule(Handle module) {
    (void)world_.Enter("AfxSetResourceHandle");  // the framework's name for it; cannot fail
    world_.resourceModule = module;
}

Handle SimSystem::ResourceModule() {
    return world_.resourceModule;
}

}  // namespace spoolsweep::sim
