#include "app/resource_language.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/spoolsweep_app.h"
#include "platform/sim/sim_machine.h"

namespace spoolsweep {
namespace {

constexpr std::u16string_view kProgram = u"C:\\Tools\\Spoolsweep.exe";
constexpr std::u16string_view kGerman = u"C:\\Tools\\SpoolsweepDEU.dll";
constexpr std::u16string_view kFrench = u"C:\\Tools\\SpoolsweepFRA.dll";

struct LanguageCase {
    const char* name;
    std::optional<std::string> languageFile;  // nothing: no file
    std::uint32_t fileAttributes;
    std::optional<std::u16string> locale;
    std::u16string_view modulePath;
    std::vector<std::u16string_view> libraries;  // files beside the program
    std::u16string_view expected;                // the resource module afterwards; empty: the program's own
};

std::string LongLineWithKeyInSecondPiece() {
    return std::string(120, 'x') + " serverlang=fr\n";
}

TEST(ResourceLanguage, ChoosesTheLibraryFromTheServerFileElseTheLocale) {
    const std::vector<std::u16string_view> both{kGerman, kFrench};
    const LanguageCase cases[] = {
        {"server file wins over locale", "serverlang=de\n", 0x20, u"FRA", kProgram, both, kGerman},
        {"key is case-sensitive", "SERVERLANG=de\n", 0x20, u"FRA", kProgram, both, kFrench},
        {"code ignores case", "serverlang=DE\r\n", 0x20, u"FRA", kProgram, both, kGerman},
        {"unlisted code is skipped", "serverlang=xx\nlang\tserverlang= \tfr more\n", 0x20, u"DEU", kProgram,
         both, kFrench},
        {"key in second piece of a long line", LongLineWithKeyInSecondPiece(), 0x20, u"DEU", kProgram, both,
         kFrench},
        {"key cut by the piece boundary", std::string(95, 'x') + "serverlang=fr\n", 0x20, u"DEU", kProgram,
         both, kGerman},
        {"read-only file counts as absent", "serverlang=fr\n", 0x21, u"DEU", kProgram, both, kGerman},
        {"file without a usable line", "serverlang=\n", 0x20, u"DEU", kProgram, both, kGerman},
        {"ESN loads the ESP library",
         std::nullopt,
         0x20,
         u"ESN",
         kProgram,
         {u"C:\\Tools\\SpoolsweepESP.dll"},
         u"C:\\Tools\\SpoolsweepESP.dll"},
        {"CHT loads the TCH library",
         std::nullopt,
         0x20,
         u"CHT",
         kProgram,
         {u"C:\\Tools\\SpoolsweepTCH.dll"},
         u"C:\\Tools\\SpoolsweepTCH.dll"},
        {"no library: own resources", std::nullopt, 0x20, u"ITA", kProgram, both, u""},
        {"locale query fails", std::nullopt, 0x20, std::nullopt, kProgram, both, u""},
        {"path without an extension",
         std::nullopt,
         0x20,
         u"DEU",
         u"C:\\Tools\\Spool.sweep app",
         {u"C:\\Tools\\Spool.sweep appDEU.dll"},
         u"C:\\Tools\\Spool.sweep appDEU.dll"},
        {"no program path: nothing loaded", std::nullopt, 0x20, u"DEU", u"", {u"DEU.dll"}, u""},
    };
    for (const LanguageCase& c : cases) {
        SCOPED_TRACE(c.name);
        sim::SimMachine sim;
        if (c.languageFile) {
            sim.WriteFile(kServerLanguageFile, *c.languageFile, c.fileAttributes);
        }
        sim.SetLocaleAbbrevLanguage(c.locale);
        sim.SetModulePath(c.modulePath);
        for (std::u16string_view library : c.libraries) {
            sim.WriteFile(library, "MZ");
        }
        const Handle module = SelectResourceLanguage(sim.machine().files, sim.machine().system);
        EXPECT_EQ(sim.ResourceModulePath(), c.expected);
        EXPECT_EQ(module != 0, !c.expected.empty());
        EXPECT_TRUE(sim.MessageBoxes().empty());
        EXPECT_EQ(sim.OpenHandleCount(), 0U);
    }
}

// Only the dialog mode chooses a language: an option runs with the built-in English texts.
TEST(ResourceLanguage, IsChosenInDialogModeOnly) {
    for (const auto& [commandLine, dialogMode] :
         {std::pair{u"S.exe", true}, std::pair{u"S.exe -help", false}}) {
        sim::SimMachine sim;
        sim.SetModulePath(kProgram);
        sim.SetLocaleAbbrevLanguage(u"DEU");
        sim.WriteFile(kGerman, "MZ");
        sim.SetCommandLine(commandLine);
        std::u16string moduleSeenByDialog;
        (void)RunSpoolsweepApp(sim.machine(),
                               [&](Machine&) { moduleSeenByDialog = sim.ResourceModulePath(); });
        EXPECT_EQ(moduleSeenByDialog, dialogMode ? kGerman : u"");
        EXPECT_EQ(sim.calls().Count("GetLocaleInfoW"), dialogMode ? 1U : 0U);
        EXPECT_EQ(sim.calls().Count("_wfopen"), dialogMode ? 1U : 0U);
    }
}

}  // namespace
}  // namespace spoolsweep
