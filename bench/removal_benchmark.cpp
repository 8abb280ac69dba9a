// Cost of removing every printer of a machine as the printer count grows: time and platform calls per removed
// printer, from the command line (-rmPrints) and in the dialog mode (every printer checked, with and without
// "Delete All Printer Drivers"), for the shipping removals and for their step-by-step references.
#include <benchmark/benchmark.h>

#include <string>

#include "app/spoolsweep_app.h"
#include "bench/support/reference_printer_removal.h"
#include "bench/support/reference_removal.h"
#include "cli/command_line_remover.h"
#include "cli/custom_command_line_info.h"
#include "platform/sim/sim_machine.h"
#include "platform/text.h"
#include "preview/memory_dialog.h"
#include "removal/printer_remover.h"

namespace spoolsweep {
namespace {

std::u16string WidenNumber(int number) {
    return WidenAscii(std::to_string(number));
}

// A terminal server: pairs of printers share a driver, one driver in four is a Tamber driver, the updater is
// installed.
void BuildMachine(sim::SimMachine& sim, int printers) {
    for (int i = 0; i < printers; ++i) {
        const std::u16string number = WidenNumber(i);
        const std::u16string driver = u"Driver " + WidenNumber(i / 2);
        if (i % 2 == 0) {
            const bool tamber = (i / 2) % 4 == 0;
            sim.AddDriver(
                {u"Windows x64", driver, tamber ? u"Norvel" + number + u".PPD" : u"LASER.PPD", u""});
        }
        sim::SimPrinter printer;
        printer.name = u"Printer " + number;
        printer.driver = driver;
        sim.AddPrinter(printer);
    }
    sim.WriteFile(u"C:\\Program Files (x86)\\Vantle\\Tamber Driver Updater.exe", "updater");
}

// A run that left printers behind measured something else.
void RequireAllRemoved(benchmark::State& state, const sim::SimMachine& sim) {
    if (!sim.Printers().empty()) {
        state.SkipWithError("printers were left installed");
    }
}

void Report(benchmark::State& state, sim::SimMachine& sim, int printers) {
    state.counters["calls_per_printer"] = static_cast<double>(sim.calls().Total()) / printers;
    state.counters["registry_reads_per_printer"] =
        static_cast<double>(sim.calls().Count("RegQueryValueExW")) / printers;
    state.counters["us_per_printer"] =
        benchmark::Counter(static_cast<double>(printers),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void RemoveAllPrinters(benchmark::State& state) {
    const int printers = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        sim::SimMachine sim;
        BuildMachine(sim, printers);
        sim.SetCommandLine(u"Spoolsweep.exe -rmPrints");
        ResetPendingOption();
        sim.calls().Clear();
        state.ResumeTiming();
        benchmark::DoNotOptimize(RunSpoolsweepApp(sim.machine()));
        state.PauseTiming();
        RequireAllRemoved(state, sim);
        Report(state, sim, printers);
        state.ResumeTiming();
    }
}

void RemoveAllPrintersStepByStep(benchmark::State& state) {
    const int printers = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        sim::SimMachine sim;
        BuildMachine(sim, printers);
        CommandLog log(sim.machine().files, sim.machine().system);
        CommandLineRemover lists(sim.machine(), log);
        test::ReferenceRemoval reference(sim.machine(), log, lists);
        sim.calls().Clear();
        state.ResumeTiming();
        for (std::uint32_t i = 0; i < lists.printers.size(); ++i) {
            benchmark::DoNotOptimize(reference.RemovePrinterAt(i));
        }
        state.PauseTiming();
        RequireAllRemoved(state, sim);
        Report(state, sim, printers);
        state.ResumeTiming();
    }
}

// The dialog with every printer checked; range(1) is the "Delete All Printer Drivers" value.
template <bool StepByStep>
void RemoveCheckedPrinters(benchmark::State& state) {
    const int printers = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        sim::SimMachine sim;
        BuildMachine(sim, printers);
        sim::MemoryDialog dialog(sim.machine().system);
        PrinterRemover remover(sim.machine(), &dialog, &dialog);
        (void)remover.FillPrinterList();
        dialog.CheckAll();
        dialog.deleteAll = static_cast<std::int32_t>(state.range(1));
        sim.calls().Clear();
        state.ResumeTiming();
        if constexpr (StepByStep) {
            test::RunRemovalStepByStep(sim.machine(), remover);
        } else {
            remover.RunRemoval();
        }
        state.PauseTiming();
        RequireAllRemoved(state, sim);
        Report(state, sim, printers);
        state.ResumeTiming();
    }
}

void DialogRemoval(benchmark::State& state) {
    RemoveCheckedPrinters<false>(state);
}

void DialogRemovalStepByStep(benchmark::State& state) {
    RemoveCheckedPrinters<true>(state);
}

BENCHMARK(RemoveAllPrinters)->Arg(100)->Arg(500)->Arg(2000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(RemoveAllPrintersStepByStep)
    ->Arg(100)
    ->Arg(500)
    ->Arg(2000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

BENCHMARK(DialogRemoval)
    ->ArgsProduct({{100, 500, 2000}, {0, 1}})
    ->ArgNames({"printers", "deleteAll"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(DialogRemovalStepByStep)
    ->ArgsProduct({{100, 500, 2000}, {0, 1}})
    ->ArgNames({"printers", "deleteAll"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace spoolsweep

BENCHMARK_MAIN();
