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

std::u16string InTools(std::u16string_view name) {
    return name.empty() ? std::u16string() : u"C:\\Tools\\" + std::u16string(name);
}

// The German and French libraries always stand in C:\Tools; `library` is one more beside the program (in the
// working folder when there is no program path).
TEST(ResourceLanguage, ChoosesTheLibraryFromTheServerFileElseTheLocale) {
    struct Case {
        const char* name;
        std::optional<std::string> languageFile;  // nothing: no file
        std::uint32_t fileAttributes;
        std::optional<std::u16string> locale;
        std::u16string_view program;  // in C:\Tools; empty: no program path
        std::u16string_view library;
        std::u16string_view expected;  // the resource module, in C:\Tools; empty: the program's own
    };
    const std::u16string_view exe = u"Spoolsweep.exe";
    const Case cases[] = {
        {"server file wins over locale", "serverlang=de\n", 0x20, u"FRA", exe, u"", u"SpoolsweepDEU.dll"},
        {"key is case-sensitive", "SERVERLANG=de\n", 0x20, u"FRA", exe, u"", u"SpoolsweepFRA.dll"},
        {"code ignores case", "serverlang=DE\r\n", 0x20, u"FRA", exe, u"", u"SpoolsweepDEU.dll"},
        {"unlisted code is skipped", "serverlang=xx\nlang\tserverlang= \tfr more\n", 0x20, u"DEU", exe, u"",
         u"SpoolsweepFRA.dll"},
        {"key in second piece of a long line", std::string(120, 'x') + " serverlang=fr\n", 0x20, u"DEU", exe,
         u"", u"SpoolsweepFRA.dll"},
        // Pieces of 99 units: the code's last letter is the 99th unit, then the 100th.
        {"key ends a piece", std::string(86, 'x') + "serverlang=fr\n", 0x20, u"DEU", exe, u"",
         u"SpoolsweepFRA.dll"},
        {"code cut by a piece's end", std::string(87, 'x') + "serverlang=fr\n", 0x20, u"DEU", exe, u"",
         u"SpoolsweepDEU.dll"},
        {"read-only file counts as absent", "serverlang=fr\n", 0x21, u"DEU", exe, u"", u"SpoolsweepDEU.dll"},
        {"file without a usable line", "serverlang=\n", 0x20, u"DEU", exe, u"", u"SpoolsweepDEU.dll"},
        {"ESN loads the ESP library", {}, 0, u"ESN", exe, u"SpoolsweepESP.dll", u"SpoolsweepESP.dll"},
        {"CHT loads the TCH library", {}, 0, u"CHT", exe, u"SpoolsweepTCH.dll", u"SpoolsweepTCH.dll"},
        {"no library: own resources", {}, 0, u"ITA", exe, u"", u""},
        {"locale query fails", {}, 0, std::nullopt, exe, u"", u""},
        {"path without an extension",
         {},
         0,
         u"DEU",
         u"Spool.sweep app",
         u"Spool.sweep appDEU.dll",
         u"Spool.sweep appDEU.dll"},
        {"no program path: nothing loaded", {}, 0, u"DEU", u"", u"DEU.dll", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::SimMachine sim;
        if (c.languageFile) {
            sim.WriteFile(kServerLanguageFile, *c.languageFile, c.fileAttributes);
        }
        sim.SetLocaleAbbrevLanguage(c.locale);
        sim.SetModulePath(InTools(c.program));
        sim.WriteFile(kGerman, "MZ");
        sim.WriteFile(InTools(u"SpoolsweepFRA.dll"), "MZ");
        if (!c.library.empty()) {
            sim.WriteFile(c.program.empty() ? std::u16string(c.library) : InTools(c.library), "MZ");
        }
        const Handle module = SelectResourceLanguage(sim.machine().files, sim.machine().system);
        EXPECT_EQ(sim.ResourceModulePath(), InTools(c.expected));
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
