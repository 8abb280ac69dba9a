#pragma once
// The preview: the real program run on a snapshot of the machine, with the options Spoolsweep.exe would be
// given or the dialog mode's choice, and the report of what that run changed.
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "preview/dialog_run.h"
#include "preview/machine_json.h"
#include "preview/preview_report.h"

namespace spoolsweep::preview {

struct PreviewOptions {
    std::vector<std::string> programArguments;  // Spoolsweep.exe's own options, UTF-8
    bool dialog = false;                        // the dialog mode's removal, chosen by the fields below
    sim::DialogRun dialogRun;
    bool json = false;
    std::string saveFile;  // the snapshot as a machine file
    // Two saved snapshots to compare instead: what changed between them.
    std::string compareBefore, compareAfter;
    std::string backupFolder;     // the run's deletions from the registry and the disk kept there
    std::string restoreFolder;    // a backup to put back instead of a run
    bool restorePreview = false;  // only say what the restore would put back
    bool runAfterBackup = false;  // then run Spoolsweep.exe itself with the same options
};

inline constexpr const char* kPreviewUsage =
    "usage: SpoolsweepPreview [--json] [--save snapshot.json] <Spoolsweep.exe options>\n"
    "       SpoolsweepPreview [--json] [--save snapshot.json] [--check \"A,B\"] [--delete-all] [--answers "
    "1,2,...]\n"
    "       SpoolsweepPreview --save snapshot.json\n"
    "       SpoolsweepPreview [--json] --compare before.json after.json\n"
    "       SpoolsweepPreview [--json] --backup FOLDER <Spoolsweep.exe options or the dialog's choice>\n"
    "       SpoolsweepPreview --backup FOLDER --run <Spoolsweep.exe options>\n"
    "       SpoolsweepPreview [--json] --restore FOLDER [--preview]\n"
    "Spoolsweep.exe options: -getInstalledPrinters, -rmPrints, -rmNorvelPrints, -p \"A,B\".\n"
    "--check and --delete-all preview the dialog's \"Delete the Selected Printers\"; --answers gives the\n"
    "message boxes' buttons in order (1 OK, 2 Cancel; OK when not given).\n"
    "--backup keeps in a new FOLDER the registry keys and values, files and folders the previewed run would\n"
    "delete; --run then runs Spoolsweep.exe (beside this program) with those options once the backup reads\n"
    "back whole; --restore puts back what the machine lacks of them, never overwriting (--preview: only "
    "says what).\n";

// Reads the preview's arguments; empty when they are valid, else what is wrong. A run needs options or a
// dialog choice; --save alone takes the snapshot only.
[[nodiscard]] std::string ParsePreviewArguments(const std::vector<std::string>& arguments,
                                                PreviewOptions& options);

// True when the options ask for a run, not only a saved snapshot.
[[nodiscard]] bool AsksForRun(const PreviewOptions& options);

// What changed from one saved snapshot to the other, grouped as in the report; throws MachineFileError.
[[nodiscard]] std::vector<ChangeGroup> CompareSnapshots(const sim::MachineJson& before,
                                                        const sim::MachineJson& after);

// Runs what the options ask on `machine` (a snapshot, which the run changes) and reports what changed; the
// snapshot's notes come first among what the preview cannot know.
[[nodiscard]] PreviewReport RunPreview(sim::SimMachine& machine, const PreviewOptions& options,
                                       std::vector<std::string> snapshotNotes);

}  // namespace spoolsweep::preview
