// The print server's language file with arbitrary bytes: the reader names a listed language or none, and the
// start-up loads exactly the library it names.
#include <algorithm>
#include <optional>
#include <string>

#include "app/resource_language.h"
#include "fuzz_machine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    using namespace spoolsweep;
    const std::string text(reinterpret_cast<const char*>(bytes), size);
    sim::SimMachine sim;
    sim.WriteFile(kServerLanguageFile, text);
    sim.SetLocaleAbbrevLanguage(std::nullopt);  // only the file can name a language

    const std::optional<std::u16string> suffix = ReadServerLanguage(sim.machine().files);
    std::u16string library;
    if (suffix) {
        fuzz::Require(suffix->size() == 3 && std::all_of(suffix->begin(), suffix->end(),
                                                         [](char16_t c) { return c >= u'A' && c <= u'Z'; }),
                      "a suffix that is no language");
        fuzz::Require(text.find("serverlang=") != std::string::npos, "a language the file does not name");
        library = u"C:\\Program Files\\Spoolsweep\\Spoolsweep" + *suffix + u".dll";
        sim.WriteFile(library, "MZ");
    }
    const Handle module = SelectResourceLanguage(sim.machine().files, sim.machine().system);
    fuzz::Require((module != 0) == suffix.has_value() && sim.ResourceModulePath() == library,
                  "the library loaded is not the one the file names");
    fuzz::Require(sim.BadHandleCloses() == 0, "a handle closed that was not open");
    return 0;
}
