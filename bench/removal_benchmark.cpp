// Cost of removing every printer of a machine as the printer count grows: time and platform calls per removed
// printer, from the command line (-rmPrints) and in the dialog mode (every printer checked, with and without
// "Delete All Printer Drivers"), for the shipping removals and for their step-by-step references; and the
// backup of what -rmPrints deletes and its restore afterwards.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/spoolsweep_app.h"
#include "bench/support/reference_printer_removal.h"
#include "bench/support/reference_removal.h"
#include "cli/command_line_remover.h"
#include "cli/custom_command_line_info.h"
#include "platform/sim/sim_machine.h"
#include "platform/text.h"
#include "preview/backup.h"
#include "preview/memory_dialog.h"
#include "preview/snapshot.h"
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

// The terminal server with each printer's own settings key, which -rmPrints deletes and a backup keeps.
void BuildMachineWithSettings(sim::SimMachine& sim, int printers) {
    BuildMachine(sim, printers);
    for (int i = 0; i < printers; ++i) {
        sim.SetValue(kHkeyCurrentUser, u"Printers\\Settings\\Printers\\Printer " + WidenNumber(i), u"DevMode",
                     3, {1, 2, 3, static_cast<std::uint8_t>(i)});
    }
}

constexpr char16_t kBackupFolder[] = u"C:\\Backups\\printers";

// The backup of what -rmPrints deletes: the snapshot, the preview's run on it, the folder written.
preview::BackupRun BackUpRemoval(sim::SimMachine& sim) {
    sim::SimMachine snapshot;
    std::vector<std::string> notes =
        preview::TakeSnapshot(sim.machine(), {u"C:\\Users\\admin", {}, 0}, snapshot);
    preview::PreviewOptions options;
    options.programArguments = {"-rmPrints"};
    return preview::RunBackup(sim.machine(), snapshot, options, std::move(notes), kBackupFolder);
}

// A backup whose settings keys are not all kept, or a restore that does not put them all back, measured
// something else.
void RequireSettingsKept(benchmark::State& state, std::size_t kept, int printers) {
    if (kept < static_cast<std::size_t>(printers)) {
        state.SkipWithError("the printers' settings were not all kept or put back");
    }
}

void BackUpRmPrints(benchmark::State& state) {
    const int printers = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        sim::SimMachine sim;
        BuildMachineWithSettings(sim, printers);
        sim.calls().Clear();
        state.ResumeTiming();
        const preview::BackupRun backup = BackUpRemoval(sim);
        state.PauseTiming();
        if (!backup.error.empty()) {
            state.SkipWithError(backup.error.c_str());
        }
        RequireSettingsKept(state, backup.contents.keys.size(), printers);
        Report(state, sim, printers);
        state.ResumeTiming();
    }
}

void RestoreRmPrints(benchmark::State& state) {
    const int printers = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        sim::SimMachine sim;
        BuildMachineWithSettings(sim, printers);
        if (!BackUpRemoval(sim).error.empty()) {
            state.SkipWithError("no backup");
        }
        sim.SetCommandLine(u"Spoolsweep.exe -rmPrints");
        ResetPendingOption();
        (void)RunSpoolsweepApp(sim.machine());
        sim.calls().Clear();
        state.ResumeTiming();
        const preview::LoadedBackup loaded =
            preview::LoadBackup(sim.machine().files, kBackupFolder, preview::ReadRestoreScope(sim.machine()));
        const std::vector<preview::RestoreLine> lines =
            preview::Restore(sim.machine(), loaded.contents, false);
        state.PauseTiming();
        const auto putBack = std::count_if(lines.begin(), lines.end(),
                                           [](const preview::RestoreLine& line) { return line.putBack; });
        RequireSettingsKept(state, static_cast<std::size_t>(putBack), printers);
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

BENCHMARK(BackUpRmPrints)->Arg(100)->Arg(500)->Arg(2000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(RestoreRmPrints)->Arg(100)->Arg(500)->Arg(2000)->Iterations(1)->Unit(benchmark::kMillisecond);
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
