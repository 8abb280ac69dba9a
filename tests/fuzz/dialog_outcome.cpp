#include "dialog_outcome.h"

#include <algorithm>
#include <map>
#include <optional>

#include "fuzz_machine.h"
#include "platform/sim/sim_world.h"
#include "platform/system.h"

namespace spoolsweep::test {
namespace {

constexpr std::u16string_view kWindowsTemp = u"C:\\Windows\\Temp";
constexpr std::u16string_view kPresets = u"C:\\Users\\admin\\AppData\\Roaming\\Norvel\\JPData\\DMT_";

struct Place {
    Handle root;
    std::u16string_view path;
};
// Where a removed local printer's own key goes (beside its settings).
constexpr Place kPrinterPlaces[] = {
    {kHkeyUsers, u".DEFAULT\\Printers\\Settings\\Printers"},
    {kHkeyLocalMachine, u"Software\\Norvel\\Trackwell\\printers"},
    {kHkeyCurrentUser, u"Software\\Norvel\\Job Properties\\LocalWaterMarkData\\Printers"},
};
// A registry value's strings: the text up to its first null, then each further one.
std::vector<std::u16string> Strings(const std::optional<std::vector<std::uint8_t>>& data) {
    std::vector<std::u16string> strings(1);
    for (std::size_t at = 0; data && at + 1 < data->size(); at += 2) {
        const auto unit = static_cast<char16_t>((*data)[at] | (*data)[at + 1] << 8);
        if (unit == 0) {
            strings.emplace_back();
        } else {
            strings.back().push_back(unit);
        }
    }
    return strings;
}

bool HasNoLinkOnTheWay(const sim::SimMachine& sim, std::u16string_view path) {
    for (std::size_t at = path.find(u'\\'); at != std::u16string_view::npos; at = path.find(u'\\', at + 1)) {
        if (sim.LinkAt(path.substr(0, at))) {
            return false;
        }
    }
    return !sim.LinkAt(path);
}

bool IsTamber(std::u16string_view base) {
    return base.size() >= 6 && sim::EqualNoCase(base.substr(0, 6), u"Norvel");
}

}  // namespace

DialogOutcome::DialogOutcome(sim::SimMachine& sim, const std::vector<std::pair<std::u16string, int>>& lines,
                             bool deleteAll) {
    const auto printers = sim.Printers();
    const std::size_t count = printers.size();
    // The run starts when a line is checked and no listed printer, checked or not, has queued jobs; a checked
    // line selects the first printer named as the line reads without its leading white space.
    const bool busy = std::any_of(printers.begin(), printers.end(), [](auto& p) { return !p.jobs.empty(); });
    const bool run = !busy && std::any_of(lines.begin(), lines.end(), [](auto& line) { return line.second; });
    if (!run) {
        for (const sim::SimPrinter& printer : printers) {
            rules_.push_back({Kind::Printer, false, printer.name});
        }
        return;
    }
    std::vector<bool> selected(count);
    for (const auto& [text, check] : lines) {
        const std::u16string name =
            text.substr(std::min(text.find_first_not_of(u" \t\n\v\f\r"), text.size()));
        const auto named =
            std::find_if(printers.begin(), printers.end(), [&](auto& p) { return p.name == name; });
        if (check != 0 && named != printers.end()) {
            selected[static_cast<std::size_t>(named - printers.begin())] = true;
        }
    }
    const auto read = [&](Handle root, const std::u16string& key, std::u16string_view value) {
        return Strings(sim.GetValue(root, key, value));
    };
    const std::u16string environment =
        sim.NativeArchitecture() == kProcessorArchitectureAmd64 ? u"Windows x64" : u"Windows NT x86";
    const auto dataFileBase = [&](const std::u16string& driver) {
        const std::u16string file = read(kHkeyLocalMachine,
                                         u"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\" +
                                             environment + u"\\Drivers\\Version-3\\" + driver,
                                         u"Data File")[0];
        return file.find(u'.') == std::u16string::npos ? u"" : file.substr(0, file.find(u'.'));
    };
    // A selected printer's driver goes unless a printer that stays has a driver of a name the user's locale
    // takes for the same; its facts are read, and its connection told, when one of exactly that name stays.
    const auto stays = [&](std::size_t i, bool exact) {
        for (std::size_t j = 0; j < count; ++j) {
            const std::u16string &a = printers[j].driver, &b = printers[i].driver;
            if (j != i && !selected[j] && (exact ? a == b : sim.machine().system.CompareStrings(a, b) == 0)) {
                return true;
            }
        }
        return false;
    };
    const bool userTemp =
        read(kHkeyCurrentUser, u"Environment", u"Temp")[0] == u"%USERPROFILE%\\AppData\\Local\\Temp";
    // A file the cleaners name goes where no link on its way could lead them elsewhere.
    const auto fileGoes = [&](std::u16string path, bool gone = true) {
        if (HasNoLinkOnTheWay(sim, path) && (gone || sim.FileExists(path)) && !sim.FolderExists(path)) {
            rules_.push_back({Kind::Path, gone, std::move(path)});
        }
    };
    const auto key = [&](Handle root, std::u16string_view parent, const std::u16string& name, bool gone) {
        const std::u16string path = std::u16string(parent) + u"\\" + name;
        if (gone || sim.KeyExists(root, path)) {
            rules_.push_back({Kind::Key, gone, path, {}, root});
        }
    };

    std::vector<int> answers = sim.QueuedMessageBoxAnswers();
    const auto answer = [&](std::u16string text, std::u16string caption, std::uint32_t style) {
        boxes_.push_back({std::move(text), std::move(caption), style});
        const std::size_t at = boxes_.size() - 1;
        return at < answers.size() ? answers[at] : sim.MessageBoxAnswer();
    };
    std::vector<bool> goes(count);
    std::vector<std::u16string> media, ended;
    bool localSelected = false, everyLocalSelected = true;
    for (std::size_t i = 0; i < count; ++i) {
        const sim::SimPrinter& p = printers[i];
        const bool local = p.serverName.empty();
        everyLocalSelected = everyLocalSelected && (!local || selected[i]);
        localSelected = localSelected || (local && selected[i]);
        rules_.push_back({Kind::Printer, selected[i], p.name});
        rules_.push_back({Kind::Value, selected[i], u"Printers\\Settings", p.name, kHkeyCurrentUser});
        goes[i] = selected[i] && !stays(i, false);
        if (!selected[i] && local) {
            const auto listed =
                read(kHkeyLocalMachine, std::u16string(fuzz::kPrintersKey) + p.name + u"\\DsDriver",
                     u"printMediaSupported");
            media.insert(media.end(), listed.begin(), std::find(listed.begin(), listed.end(), u""));
        }
        if (local) {
            key(kHkeyCurrentUser, u"Printers\\Settings\\Printers", p.name, selected[i] || deleteAll);
            key(kHkeyCurrentUser, u"Printers\\DMTDevMode", p.name, goes[i]);
        }
        if (!selected[i]) {
            continue;
        }
        if (!local) {
            std::u16string file = p.name;
            std::replace(file.begin(), file.end(), u'\\', u',');
            fileGoes(std::u16string(kWindowsTemp) + u"\\" + file + u".tmp");
            if (userTemp) {
                fileGoes(std::u16string(fuzz::kUserTemp) + u"\\" + file + u".tmp");
            }
            if (!deleteAll && stays(i, true)) {
                answer(u"Driver- " + p.driver +
                           u" is being used by some other PNP Printer also,So only Printer- " + p.name +
                           u" will be deleted and underlying Driver will remain.",
                       u"Spoolsweep", 0);
            }
            continue;
        }
        ended.push_back((stays(i, true) ? u"" : dataFileBase(p.driver)) + u".srv");
        for (const Place& place : kPrinterPlaces) {
            key(place.root, place.path, p.name, true);
        }
        key(kHkeyUsers, u".DEFAULT\\Printers\\DMTDevMode", p.name, goes[i]);
    }
    const bool anySelected = std::find(selected.begin(), selected.end(), true) != selected.end();
    rules_.push_back({Kind::Key,
                      deleteAll || anySelected,
                      u"SYSTEM\\CurrentControlSet\\Control\\Print\\Watermark",
                      {},
                      kHkeyLocalMachine});

    // Drivers that go, in list order: the presets question for a Tamber data file, then the driver's files.
    // The question counts the Tamber printers left; the updater's folder stays while any is.
    int remaining = 0;
    std::map<std::u16string, bool> presets;  // by data-file base: whether an answer deleted them
    for (std::size_t i = 0; i < count; ++i) {
        const std::u16string base = dataFileBase(printers[i].driver);
        remaining += IsTamber(base) ? 1 : 0;
        if (!goes[i] || base.empty()) {
            continue;
        }
        presets.try_emplace(base, false);
        if (IsTamber(base)) {
            --remaining;
            const std::u16string question =
                u"Select OK to delete the Tamber Driver and your associated presets.\nSelect Cancel to "
                u"delete only the Tamber Driver.";
            presets[base] = answer(question, printers[i].driver, 1) == 1 || presets[base];
        }
        key(kHkeyCurrentUser, u"Software\\Norvel\\Job Properties\\Driver", base, true);
        fileGoes(std::u16string(kPresets) + base + u".PPD\\EssentialPresets\\preferences");
        fileGoes(std::u16string(kWindowsTemp) + u"\\" + base + u".wmk");
        if (userTemp) {
            fileGoes(std::u16string(fuzz::kUserTemp) + u"\\" + base + u".wmk");
        }
    }
    for (const auto& [base, gone] : presets) {
        const std::u16string folder = std::u16string(kPresets) + base + u".PPD";
        if (HasNoLinkOnTheWay(sim, folder) && (gone || sim.FolderExists(folder))) {
            rules_.push_back({Kind::Path, gone, folder});
        }
    }
    const std::u16string install = sim.NativeArchitecture() == kProcessorArchitectureAmd64
                                       ? u"C:\\Program Files (x86)\\Vantle"
                                       : u"C:\\Program Files\\Vantle";
    rules_.push_back({Kind::Path, remaining <= 0, install});
    rules_.push_back({Kind::Path, true, install + u"_temp"});

    // A driver goes by name from both environments when a selected printer's driver goes, or with Delete All;
    // never while a printer that stays uses it.
    for (const sim::SimDriver& driver : sim.Drivers()) {
        bool named = deleteAll, used = false;
        for (std::size_t i = 0; i < count; ++i) {
            named = named || (goes[i] && sim::EqualNoCase(printers[i].driver, driver.name));
            used = used || (!selected[i] && sim::EqualNoCase(printers[i].driver, driver.name));
        }
        rules_.push_back({Kind::Driver, named && !used, driver.name, driver.environment});
    }
    // Forms: with a local printer every form but the built-in ones and those an unselected local printer
    // lists; all of them with the last local printer.
    for (const sim::SimForm& form : sim.Forms()) {
        const bool listed = std::find(media.begin(), media.end(), form.name) != media.end();
        rules_.push_back(
            {Kind::Form, form.flags != 1 && localSelected && (everyLocalSelected || !listed), form.name});
    }
    // Processes: the first running one named after each removed local printer's data file, and with Delete
    // All the first Trackwell.
    if (deleteAll) {
        ended.emplace_back(u"Trackwell.exe");
    }
    std::vector<sim::SimProcess> processes = sim.Processes();
    for (const std::u16string& exe : ended) {
        const auto first = std::find_if(processes.begin(), processes.end(),
                                        [&](auto& p) { return p.running && p.exeFile == exe; });
        if (first != processes.end()) {
            first->running = false;
        }
    }
    for (const sim::SimProcess& process : processes) {
        rules_.push_back({Kind::Process, !process.running, process.exeFile, {}, 0, process.processId});
    }

    // The machine-wide residue goes with Delete All alone.
    rules_.push_back(
        {Kind::Value, deleteAll, u"Printers\\Settings\\Wizard", u"Driver Name", kHkeyCurrentUser});
    const std::u16string spool = u"C:\\Windows\\System32\\spool\\drivers\\w32x86\\loose.dll";
    fileGoes(spool, deleteAll);
    if (userTemp) {
        fileGoes(std::u16string(fuzz::kUserTemp) + u"\\Trackwell\\trace.log", deleteAll);
        if (HasNoLinkOnTheWay(sim, std::u16string(fuzz::kUserTemp) + u"\\Trackwell")) {
            rules_.push_back({Kind::Path, deleteAll, std::u16string(fuzz::kUserTemp) + u"\\Trackwell"});
        }
    }
}

bool DialogOutcome::Present(const sim::SimMachine& sim, const Rule& rule) {
    const auto any = [](const auto& items, auto matches) {
        return std::any_of(items.begin(), items.end(), matches);
    };
    switch (rule.kind) {
        case Kind::Printer:
            return any(sim.Printers(), [&](auto& p) { return p.name == rule.path; });
        case Kind::Driver:
            return any(sim.Drivers(),
                       [&](auto& d) { return d.name == rule.path && d.environment == rule.name; });
        case Kind::Form:
            return any(sim.Forms(), [&](auto& f) { return f.name == rule.path; });
        case Kind::Key:
            return sim.KeyExists(rule.root, rule.path);
        case Kind::Value:
            return sim.ValueExists(rule.root, rule.path, rule.name);
        case Kind::Path:
            return sim.Attributes(rule.path).has_value();
        case Kind::Process:
            return any(sim.Processes(), [&](auto& p) { return p.running && p.processId == rule.id; });
    }
    return false;
}

std::vector<std::string> DialogOutcome::Differences(const sim::SimMachine& sim) const {
    std::vector<std::string> differences;
    for (const Rule& rule : rules_) {
        if (Present(sim, rule) == rule.gone) {
            static constexpr const char* kKinds[] = {"printer", "driver", "form",   "key",
                                                     "value",   "path",   "process"};
            differences.push_back(std::string(kKinds[static_cast<int>(rule.kind)]) + " " +
                                  sim::ToUtf8(rule.path + u" " + rule.name) +
                                  (rule.gone ? " should be gone" : " should stay"));
        }
    }
    const auto& shown = sim.MessageBoxes();
    if (!std::equal(shown.begin(), shown.end(), boxes_.begin(), boxes_.end(), [](auto& a, auto& b) {
            return a.text == b.text && a.caption == b.caption && a.style == b.style;
        })) {
        differences.push_back("message boxes: " + std::to_string(shown.size()) + " shown, " +
                              std::to_string(boxes_.size()) + " due");
    }
    return differences;
}

}  // namespace spoolsweep::test
