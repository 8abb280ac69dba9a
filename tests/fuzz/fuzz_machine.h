#pragma once
// Fuzzer bytes turned into a simulated machine with hostile names and data, and the checks every run on it
// must pass. A failed check traps, so libFuzzer keeps the input as a crash.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace spoolsweep::fuzz {

// Where the shaped machine's user keeps Temp files, and the spooler's printer keys.
inline constexpr std::u16string_view kUserTemp = u"C:\\Users\\admin\\AppData\\Local\\Temp";
inline constexpr std::u16string_view kPrintersKey = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";

// Prints what broke and traps.
void Require(bool holds, const std::string& what);

// Names with separators, dots, wildcards, quotes, commas, non-ASCII and overlong text, or raw UTF-16 units;
// later names often repeat earlier ones, so printers, drivers and selections meet. A plain source makes each
// of them a name Windows lets a printer, driver, form or file have, and never two that differ only in case.
class NameSource {
  public:
    NameSource(FuzzedDataProvider& data, bool plain) : data_(data), plain_(plain) {}
    std::u16string Next();
    [[nodiscard]] bool Plain() const { return plain_; }

  private:
    std::u16string Draw();
    FuzzedDataProvider& data_;
    bool plain_;
    std::vector<std::u16string> used_;
};

// Drivers, printers and connections, forms, registry residue and facts, files, services, processes and the
// message-box answers, shaped by the input.
void ShapeMachine(FuzzedDataProvider& data, NameSource& names, sim::SimMachine& sim);
// One input's run: its bytes' provider, the names they give and the machine they shaped. With `mayBePlain`
// the input's first bool chooses plain names.
struct ShapedMachine {
    ShapedMachine(const std::uint8_t* bytes, std::size_t size, bool mayBePlain = false)
        : data(bytes, size), names(data, mayBePlain && data.ConsumeBool()) {
        ShapeMachine(data, names, sim);
    }
    FuzzedDataProvider data;
    NameSource names;
    sim::SimMachine sim;
};

// Calls that fail with a chosen error, from then on.
void InjectFaults(FuzzedDataProvider& data, sim::SimMachine& sim);

// What the removal rules allow on this machine, read before the run from the program's own tables and
// folders.
class DeletionRules {
  public:
    explicit DeletionRules(sim::SimMachine& sim);
    // Every journal line is one the rules name; the run stayed within its call and wait budgets; no handle
    // was closed twice.
    void Check(sim::SimMachine& sim) const;
    [[nodiscard]] const std::vector<std::u16string>& Printers() const { return printers_; }

  private:
    [[nodiscard]] bool Allows(const std::string& line) const;
    [[nodiscard]] bool IsUnderARoot(const std::u16string& path) const;

    std::vector<std::u16string> printers_;
    // Whole lines: deletions of the printers, drivers and forms there are, services restarted, processes
    // ended.
    std::set<std::string> lines_;
    // Folded line starts: a key below which (or, when true, at which) SHDeleteKeyW may delete.
    std::vector<std::pair<std::u16string, bool>> keys_;
    // Folded RegDeleteValueW lines; one ending in a blank allows any value of its key.
    std::vector<std::u16string> values_;
    std::vector<std::u16string> fileRoots_, presetFolders_, updaterFolders_;  // folded, normalised
    struct FileState {
        std::optional<std::string> contents;
        std::optional<std::uint32_t> attributes;
        bool operator==(const FileState&) const = default;
    };
    std::map<std::u16string, FileState> outside_;  // every file and folder outside the roots, as named
    std::uint64_t callsBefore_ = 0;
    std::uint64_t callBudget_ = 0;
    std::uint32_t startTick_ = 0;
    std::uint64_t waitBudgetMs_ = 0;
};

}  // namespace spoolsweep::fuzz
