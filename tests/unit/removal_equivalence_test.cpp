// The shipping removal keeps its own bookkeeping so that its cost stays flat; here it runs beside a literal
// step-by-step removal on identical machines, and the two must do exactly the same things.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "bench/support/reference_removal.h"
#include "cli/command_line_remover.h"
#include "cli/command_log.h"
#include "platform/sim/sim_machine.h"
#include "tests/unit/run_helpers.h"

namespace spoolsweep {
namespace {

// A random machine: shared and exclusive drivers, Tamber and other data files, a driver named like a printer
// (its registry residue then reaches the driver's key), connections, busy queues, updater folders.
struct Scenario {
    explicit Scenario(unsigned seed) : rng(seed) {}

    void Build(sim::SimMachine& sim) {
        std::mt19937 local = rng;
        auto pick = [&](int n) { return static_cast<int>(local() % static_cast<unsigned>(n)); };
        const int driverCount = 1 + pick(4);
        std::vector<std::u16string> drivers;
        for (int d = 0; d < driverCount; ++d) {
            std::u16string name =
                pick(2) == 0 ? u"p" + std::u16string(1, u'0' + d) : u"Driver " + std::u16string(1, u'A' + d);
            std::u16string dataFile =
                pick(2) == 0 ? u"NorvelX" + std::u16string(1, u'0' + d) + u".PPD" : u"LASER.PPD";
            sim.AddDriver({u"Windows x64", name, dataFile, u"C:\\Windows\\INF\\oem.inf"});
            drivers.push_back(name);
        }
        const int printerCount = 1 + pick(7);
        for (int p = 0; p < printerCount; ++p) {
            sim::SimPrinter printer;
            printer.driver = drivers[static_cast<std::size_t>(pick(driverCount))];
            if (pick(5) == 0) {
                printer.serverName = u"\\\\srv";
                printer.name = u"\\\\srv\\q" + std::u16string(1, u'0' + p);
            } else {
                printer.name = u"P" + std::u16string(1, u'0' + p);
            }
            sim.AddPrinter(printer);
            if (pick(6) == 0) {
                sim.QueueJob(printer.name);
            } else if (pick(6) == 0) {
                sim.ScriptJobCounts(printer.name, {1, 0});
            }
            sim.SetString(kHkeyCurrentUser, u"Printers\\Settings\\Printers\\" + printer.name, u"x", u"y");
        }
        sim.AddForm({u"Custom", 0});
        if (pick(4) != 0) {
            sim.WriteFile(u"C:\\Program Files (x86)\\Vantle\\Tamber Driver Updater.exe", "u");
        }
        if (pick(3) == 0) {
            sim.WriteFile(u"C:\\Program Files (x86)\\Vantle_temp\\Tamber Driver Updater.exe", "b");
        }
        sim.AddProcess(u"NorvelX0.srv");
        for (int i = 0, n = 1 + pick(10); i < n; ++i) {
            sequence.push_back(static_cast<std::uint32_t>(pick(printerCount)));
        }
    }

    std::mt19937 rng;
    std::vector<std::uint32_t> sequence;
};

struct Outcome {
    std::vector<bool> results;
    std::vector<std::string> journal;
    std::vector<std::string> log;
    std::vector<std::u16string> paths;
};

enum class Removal { Shipping, StepByStep };

Outcome RunScenario(unsigned seed, Removal removal) {
    sim::SimMachine sim;
    Scenario scenario(seed);
    scenario.Build(sim);
    CommandLog log(sim.machine().files, sim.machine().system);
    CommandLineRemover remover(sim.machine(), log);
    test::ReferenceRemoval reference(sim.machine(), log, remover);
    Outcome outcome;
    for (std::uint32_t index : scenario.sequence) {
        outcome.results.push_back(removal == Removal::Shipping ? remover.RemovePrinterAt(index)
                                                               : reference.RemovePrinterAt(index));
    }
    outcome.journal = sim.journal();
    outcome.log = test::LogMessages(sim);
    outcome.paths = sim.AllPaths();
    return outcome;
}

TEST(RemovalEquivalence, ShippingRemovalDoesWhatTheStepByStepRemovalDoes) {
    for (unsigned seed = 1; seed <= 300; ++seed) {
        SCOPED_TRACE(seed);
        const Outcome shipping = RunScenario(seed, Removal::Shipping);
        const Outcome reference = RunScenario(seed, Removal::StepByStep);
        ASSERT_EQ(shipping.results, reference.results);
        ASSERT_EQ(shipping.log, reference.log);
        ASSERT_EQ(shipping.journal, reference.journal);
        ASSERT_EQ(shipping.paths, reference.paths);
    }
}

}  // namespace
}  // namespace spoolsweep
