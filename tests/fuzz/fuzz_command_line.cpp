// The program's entry on a machine the input shapes, with a command line the input writes: arbitrary
// parameters in "-" and "/" form, printer lists with commas, blanks, quotes and non-ASCII, or raw text. The
// same machine also has printers removed one index at a time, by the shipping removal and by the step-by-step
// one, which must do exactly the same.
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "app/spoolsweep_app.h"
#include "bench/support/reference_removal.h"
#include "cli/command_line_remover.h"
#include "cli/custom_command_line_info.h"
#include "fuzz_machine.h"
#include "platform/sim/sim_world.h"
#include "preview/machine_json.h"

namespace spoolsweep::fuzz {
namespace {

constexpr const char* kOptions[] = {
    "getInstalledPrinters", "rmPrints", "rmNorvelPrints", "p", "help", "P", "rmprints", ""};
constexpr const char* kSeparators[] = {",", " , ", ",,", " ", "\""};

std::string NextArgument(FuzzedDataProvider& data, NameSource& names) {
    std::string argument = data.PickValueInArray({"-", "/", ""});
    if (data.ConsumeBool()) {
        return argument + data.PickValueInArray(kOptions);
    }
    argument += sim::ToUtf8(names.Next());
    for (int i = data.ConsumeIntegralInRange(0, 3); i > 0; --i) {
        argument += data.PickValueInArray(kSeparators) + sim::ToUtf8(names.Next());
    }
    return argument;
}

// The console text of one option on a fresh machine.
std::string OptionOutput(const char* option) {
    sim::SimMachine sim;
    sim.SetCommandLine(sim::BuildCommandLine({option}));
    ResetPendingOption();
    static_cast<void>(RunSpoolsweepApp(sim.machine()));
    return sim.Stdout();
}

// The console must read as a sequence of the words the options write: the usage, the listing lines of the
// printers the machine had, "Success", "Failure", "1", "0" and the not-available notice.
void CheckConsole(const std::string& console, const std::vector<std::u16string>& printers) {
    static const std::string usage = OptionOutput("-help");
    std::vector<std::string> words = {usage,
                                      "Success",
                                      "Failure",
                                      "1",
                                      "0",
                                      "Selected Printers are not available in the system.",
                                      CommandLineRemover::FormatPrinterList({})};
    for (const std::u16string& name : printers) {
        PrinterRecord record;
        record.printerName = name;
        words.push_back(CommandLineRemover::FormatPrinterList({record}));
    }
    std::vector<bool> reached(console.size() + 1, false);
    reached[0] = true;
    for (std::size_t at = 0; at < console.size(); ++at) {
        for (const std::string& word : words) {
            if (reached[at] && !word.empty() && console.compare(at, word.size(), word) == 0) {
                reached[at + word.size()] = true;
            }
        }
    }
    Require(reached.back(), "console text no option writes: " + console);
}

enum class Removal { Shipping, StepByStep };

// Results, journal, console, command log and the files left.
using Outcome = std::tuple<std::vector<bool>, std::vector<std::string>, std::string,
                           std::optional<std::string>, std::vector<std::u16string>>;

Outcome RemoveByIndex(const std::uint8_t* bytes, std::size_t size, Removal removal) {
    ShapedMachine shaped(bytes, size);
    auto& [data, names, sim] = shaped;
    CommandLog log(sim.machine().files, sim.machine().system);
    CommandLineRemover remover(sim.machine(), log);
    test::ReferenceRemoval reference(sim.machine(), log, remover);
    Outcome outcome;
    for (int i = data.ConsumeIntegralInRange(1, 8); i > 0 && !remover.printers.empty(); --i) {
        const auto index = data.ConsumeIntegralInRange<std::uint32_t>(
            0, static_cast<std::uint32_t>(remover.printers.size() - 1));
        std::get<0>(outcome).push_back(removal == Removal::Shipping ? remover.RemovePrinterAt(index)
                                                                    : reference.RemovePrinterAt(index));
    }
    std::get<1>(outcome) = sim.journal();
    std::get<2>(outcome) = sim.Stdout();
    std::get<3>(outcome) = sim.ReadFile(sim.CurrentDirectory() + u"\\Spoolsweep_CL.log");
    std::get<4>(outcome) = sim.AllPaths();
    return outcome;
}

}  // namespace
}  // namespace spoolsweep::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    using namespace spoolsweep;
    fuzz::ShapedMachine shaped(bytes, size);
    auto& [data, names, sim] = shaped;
    const fuzz::DeletionRules rules(sim);
    std::vector<std::string> arguments;
    for (int i = data.ConsumeIntegralInRange(0, 5); i > 0; --i) {
        arguments.push_back(fuzz::NextArgument(data, names));
    }
    const bool raw = data.ConsumeIntegralInRange(0, 3) == 0;
    fuzz::InjectFaults(data, sim);
    sim.SetCommandLine(raw ? u"Spoolsweep.exe " + sim::FromUtf8(data.ConsumeRemainingBytesAsString())
                           : sim::BuildCommandLine(arguments));
    ResetPendingOption();
    static_cast<void>(RunSpoolsweepApp(sim.machine()));
    rules.Check(sim);
    fuzz::CheckConsole(sim.Stdout(), rules.Printers());
    fuzz::Require(fuzz::RemoveByIndex(bytes, size, fuzz::Removal::Shipping) ==
                      fuzz::RemoveByIndex(bytes, size, fuzz::Removal::StepByStep),
                  "the shipping and the step-by-step removal differ");
    return 0;
}
