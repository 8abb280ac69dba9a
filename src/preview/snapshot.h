#pragma once
// A snapshot of everything on a machine that a removal reads or may delete, read through the seams without
// changing anything, and laid down on a simulated machine so that the real program can run there instead.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/machine.h"
#include "platform/sim/sim_machine.h"

namespace spoolsweep::preview {

// What the snapshot cannot ask the machine through the program's own seams.
struct SnapshotContext {
    std::u16string currentDirectory;  // where the program would write its command log
    std::u16string programPath;      // Spoolsweep.exe beside the previewing program; empty: the machine's own
    std::uint32_t ownProcessId = 0;  // the previewing process itself, left out of the process list
};

// A registry subtree the snapshot copies whole.
struct RegistrySubtree {
    Handle root;
    std::u16string path;
};

// The registry subtrees the residue cleaners and the driver facts read or delete, none inside another.
[[nodiscard]] std::vector<RegistrySubtree> RegistryScope();

// The entries of a folder, without "." and "..", as FindFirstFileW and FindNextFileW list them. The search
// goes through a link at `folder` itself, so callers check the path for links first; each entry's own link
// attribute is reported, never followed, and nothing is opened, written or deleted here.
[[nodiscard]] std::vector<FindEntry> ListFolder(Files& files, const std::u16string& folder);

// The folders the cleaners search and delete on this machine, each as Windows reads it (no "." or ".."
// steps): the Temp folders, the spool driver folders, the presets and the updater folders. Missing settings
// are left out.
[[nodiscard]] std::vector<std::u16string> FolderScope(Machine& machine);

// Empties `target` and copies `source` into it: printers and connections with their job counts, drivers of
// both environments, forms, the default printer, the registry scope with every value's type and data, the
// folders the cleaners search and delete (their listings with attributes; file contents are not read), the
// updater folders, the Spooler and the services that depend on it, the running processes, the environment
// variables the copied settings name, Application Data and the system facts. Returns what could not be
// read or cannot be simulated, one sentence each.
[[nodiscard]] std::vector<std::string> TakeSnapshot(Machine& source, const SnapshotContext& context,
                                                    sim::SimMachine& target);

}  // namespace spoolsweep::preview
