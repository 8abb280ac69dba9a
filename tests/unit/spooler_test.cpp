// The spooler's wrappers over the simulated machine: the printer catalogue, printer and form operations and
// driver deletion, with the calls they pass on noted by a decorator.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/structured_exception.h"
#include "platform/text.h"
#include "platform/win_errors.h"
#include "spooler/driver_catalogue.h"
#include "spooler/printer_catalogue.h"
#include "spooler/printer_operations.h"
#include "tests/unit/run_helpers.h"

namespace spoolsweep {
namespace {

using sim::SimMachine;

// A Spooler that forwards to another one, notes the deletions it passes on, and can raise a CSE
// inside one of them, as a structured exception surfaces through an MSVC build's translator. The real seams
// never throw.
class SpoolerDecorator : public Spooler {
  public:
    explicit SpoolerDecorator(Spooler& inner) : inner_(inner) {}

    // e.g. "DeletePrinterDriverExW Windows x64|Drv|1|3 -> 0"; a call starting with throwWhenStarts throws.
    std::vector<std::string> calls;
    std::string throwWhenStarts;

    EnumResult<PrinterInfo> EnumPrinters(std::uint32_t flags, std::uint32_t bytes) override {
        return inner_.EnumPrinters(flags, bytes);
    }
    EnumResult<DriverInfo> EnumPrinterDrivers(std::u16string_view environment, std::uint32_t bytes) override {
        Enter("EnumPrinterDriversW " + NarrowLowBytes(environment));
        return inner_.EnumPrinterDrivers(environment, bytes);
    }
    EnumResult<DriverDefinition> EnumDriverDefinitions(std::u16string_view environment,
                                                       std::uint32_t bytes) override {
        return inner_.EnumDriverDefinitions(environment, bytes);
    }
    Status AddPrinterDriverEx(const DriverDefinition& driver, std::uint32_t flags) override {
        return inner_.AddPrinterDriverEx(driver, flags);
    }
    HandleResult OpenPrinter(std::u16string_view name, std::uint32_t access) override {
        return inner_.OpenPrinter(name, access);
    }
    void ClosePrinter(Handle printer) override { inner_.ClosePrinter(printer); }
    EnumResult<std::uint32_t> EnumJobs(Handle printer, std::uint32_t first, std::uint32_t count,
                                       std::uint32_t bytes) override {
        Enter("EnumJobsW " + std::to_string(first) + "|" + std::to_string(count));
        return inner_.EnumJobs(printer, first, count, bytes);
    }
    EnumResult<FormInfo> EnumForms(Handle printer, std::uint32_t bytes) override {
        return inner_.EnumForms(printer, bytes);
    }
    Status DeletePrinter(Handle printer) override {
        Enter("DeletePrinter " + std::to_string(printer));
        return Noted(inner_.DeletePrinter(printer));
    }
    Status DeletePrinterConnection(std::u16string_view name) override {
        Enter("DeletePrinterConnectionW " + NarrowLowBytes(name));
        return Noted(inner_.DeletePrinterConnection(name));
    }
    Status AddPrinterConnection(std::u16string_view name) override {
        return inner_.AddPrinterConnection(name);
    }
    Status DeleteForm(Handle printer, std::u16string_view name) override {
        return inner_.DeleteForm(printer, name);
    }
    Status AddForm(Handle printer, const FormInfo& form) override { return inner_.AddForm(printer, form); }
    PrinterDefinitionResult GetPrinter(Handle printer) override { return inner_.GetPrinter(printer); }
    HandleResult AddPrinter(const PrinterDefinition& printer) override { return inner_.AddPrinter(printer); }
    Status SetPrinterDataEx(Handle printer, std::u16string_view key, std::u16string_view value,
                            std::uint32_t type, const std::vector<std::uint8_t>& data) override {
        return inner_.SetPrinterDataEx(printer, key, value, type, data);
    }
    Status DeletePrinterDriverEx(std::u16string_view environment, std::u16string_view driver,
                                 std::uint32_t flags, std::uint32_t version) override {
        Enter("DeletePrinterDriverExW " + NarrowLowBytes(environment) + "|" + NarrowLowBytes(driver) + "|" +
              std::to_string(flags) + "|" + std::to_string(version));
        return Noted(inner_.DeletePrinterDriverEx(environment, driver, flags, version));
    }
    bool CanDeletePrinterDriverPackage() override { return inner_.CanDeletePrinterDriverPackage(); }
    Status DeletePrinterDriverPackage(std::u16string_view infPath, std::u16string_view environment) override {
        Enter("DeletePrinterDriverPackageW " + NarrowLowBytes(infPath) + "|" + NarrowLowBytes(environment));
        return inner_.DeletePrinterDriverPackage(infPath, environment);
    }
    EnumResult<PortInfo> ListPorts(std::uint32_t bufferBytes) override {
        return inner_.ListPorts(bufferBytes);
    }
    Status AddLocalPort(std::u16string_view port) override { return inner_.AddLocalPort(port); }
    Status UploadDriverPackage(std::u16string_view infPath, std::u16string_view environment) override {
        return inner_.UploadDriverPackage(infPath, environment);
    }
    DefaultPrinterResult GetDefaultPrinter(std::uint32_t chars) override {
        return inner_.GetDefaultPrinter(chars);
    }

  private:
    void Enter(std::string note) {
        calls.push_back(std::move(note));
        if (!throwWhenStarts.empty() && calls.back().starts_with(throwWhenStarts)) {
            calls.back() += " -> CSE";
            throw CSE{};
        }
    }
    Status Noted(Status status) {
        calls.back() += " -> " + std::to_string(status.error);
        return status;
    }

    Spooler& inner_;
};

std::vector<std::u16string> NamesOf(const std::vector<PrinterRecord>& records) {
    std::vector<std::u16string> names;
    for (const PrinterRecord& record : records) {
        names.push_back(record.printerName);
    }
    return names;
}

// A spooler whose EnumPrintersW answers are given one by one; the buffer sizes asked for are kept.
// Every other call goes to a machine of its own, made before the decorator that forwards to it.
struct SpareMachine {
    sim::SimMachine spare;
};
class ScriptedSpooler : private SpareMachine, public SpoolerDecorator {
  public:
    ScriptedSpooler() : SpoolerDecorator(spare.machine().spooler) {}
    EnumResult<PrinterInfo> EnumPrinters(std::uint32_t flags, std::uint32_t bufferBytes) override {
        flagsSeen.push_back(flags);
        buffersSeen.push_back(bufferBytes);
        if (answers.empty()) {
            return {};
        }
        EnumResult<PrinterInfo> answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::deque<EnumResult<PrinterInfo>> answers;
    std::vector<std::uint32_t> flagsSeen;
    std::vector<std::uint32_t> buffersSeen;
};

EnumResult<PrinterInfo> TooSmall(std::uint32_t bytesNeeded) {
    return {false, win_error::kInsufficientBuffer, bytesNeeded, {}};
}

EnumResult<PrinterInfo> Listing(std::vector<std::u16string> names) {
    EnumResult<PrinterInfo> result{true, 0, 0, {}};
    for (std::u16string& name : names) {
        result.entries.push_back({std::nullopt, std::move(name), u"Driver", std::nullopt});
    }
    return result;
}

TEST(PrinterRecord, OverlongNamesAreCutToTheirFieldAndTheTamberPrefixMatchesInAnyLetterCase) {
    std::u16string longName(300, u'n');
    PrinterRecord record(longName, longName, std::u16string(259, u'd'), std::u16string(260, u's'));
    EXPECT_EQ(record.serverName, longName.substr(0, 259));
    EXPECT_EQ(record.printerName, longName.substr(0, 259));
    EXPECT_EQ(record.driverName, std::u16string(259, u'd'));
    EXPECT_EQ(record.shareName, std::u16string(259, u's'));

    // The Tamber prefix matches in any letter case.
    for (std::u16string_view name : {u"Norvel", u"NorvelAB12", u"norvelab12", u"NORVEL", u"nOrVeL.ppd"}) {
        EXPECT_TRUE(HasNorvelPrefix(name)) << std::string(name.begin(), name.end());
    }
    // U+014E and U+FF2E both end in the byte of "N"; neither is that letter.
    for (std::u16string_view name : {u"", u"Norve", u"XNorvel", u"Nor vel", u"\u014Eorvel", u"\uFF2Eorvel"}) {
        EXPECT_FALSE(HasNorvelPrefix(name)) << name.size();
    }
}

TEST(EnumerateInstalledPrinters, ListsLocalSharedAndConnectionsInSpoolerOrderAskingWithTheSizeGiven) {
    sim::SimMachine sim;
    sim.AddDriver({u"Windows x64", u"Tamber PS", u"NorvelAB12.PPD", u""});
    sim.AddPrinter(test::MakePrinter(u"Local", u"Tamber PS"));
    sim.AddPrinter(test::MakePrinter(u"Shared", u"Tamber PS", u"SharedShare"));
    sim.AddPrinter(test::MakePrinter(u"\\\\srv\\Remote", u"Tamber PS"));
    std::vector<PrinterRecord> records = EnumerateInstalledPrinters(sim.machine().spooler);
    ASSERT_EQ(NamesOf(records), (std::vector<std::u16string>{u"Local", u"Shared", u"\\\\srv\\Remote"}));
    EXPECT_EQ(records[0].serverName, u"");
    EXPECT_EQ(records[0].shareName, u"");
    EXPECT_EQ(records[1].shareName, u"SharedShare");
    EXPECT_EQ(records[2].serverName, u"\\\\srv");
    EXPECT_EQ(records[2].driverName, u"Tamber PS");
    EXPECT_EQ(sim.calls().Count("EnumPrintersW"), 2U);

    PrinterCatalogue catalogue(sim.machine().spooler);
    EXPECT_EQ(NamesOf(catalogue.printers), NamesOf(records));
    EXPECT_TRUE(catalogue.remainingDataFiles.empty());

    // Local printers and connections, asked with the size the spooler gave; a printer added between the two
    // calls is retried once, no printers means no second call, and a failed call an empty list.
    struct Case {
        std::deque<EnumResult<PrinterInfo>> answers;
        std::vector<std::u16string> names;
        std::vector<std::uint32_t> buffers;
    };
    const Case cases[] = {
        {{TooSmall(640), Listing({u"A", u"B"})}, {u"A", u"B"}, {0, 640}},
        {{TooSmall(640), TooSmall(960), Listing({u"A", u"B", u"New"})}, {u"A", u"B", u"New"}, {0, 640, 960}},
        {{TooSmall(640), TooSmall(960), TooSmall(1280), Listing({u"A"})}, {}, {0, 640, 960}},
        {{EnumResult<PrinterInfo>{true, 0, 0, {}}}, {}, {0}},
        {{EnumResult<PrinterInfo>{false, win_error::kAccessDenied, 0, {}}}, {}, {0}},
        {{TooSmall(640), EnumResult<PrinterInfo>{false, win_error::kAccessDenied, 0, {}}}, {}, {0, 640}},
    };
    for (const Case& c : cases) {
        ScriptedSpooler spooler;
        spooler.answers = c.answers;
        EXPECT_EQ(NamesOf(EnumerateInstalledPrinters(spooler)), c.names);
        EXPECT_EQ(spooler.buffersSeen, c.buffers);
        EXPECT_EQ(spooler.flagsSeen, std::vector<std::uint32_t>(c.buffers.size(), 6));
    }
}

constexpr std::u16string_view kForms = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Forms";

// A machine with local printers P1 and P2 and a connection \\srv\Shared.
void AddPrinters(SimMachine& sim) {
    sim.AddDriver({u"Windows x64", u"Drv", u"drv.ppd", u""});
    for (std::u16string_view name : {u"P1", u"P2", u"\\\\srv\\Shared"}) {
        sim.AddPrinter(test::MakePrinter(name, u"Drv"));
    }
}

std::u16string FormKey(std::u16string_view name) {
    return std::u16string(kForms) + u"\\" + std::u16string(name);
}

// A form as the spooler keeps it: the form, its value under Forms and its own key there.
void AddFormWithEntries(SimMachine& sim, std::u16string_view name, std::uint32_t flags) {
    sim.AddForm({std::u16string(name), flags});
    sim.SetValue(kHkeyLocalMachine, kForms, name, sim::kRegBinary, {1, 2, 3, 4});
    sim.CreateKey(kHkeyLocalMachine, FormKey(name));
}

TEST(PrinterOperations, OpensTheDefaultPrinterWhenNoNameIsGivenAndTestsQueuesForJobs) {
    SimMachine sim;
    AddPrinters(sim);
    Spooler& spooler = sim.machine().spooler;
    EXPECT_FALSE(OpenPrinterByName(spooler, std::nullopt)) << "no default printer: nothing is opened";
    EXPECT_EQ(sim.calls().Count("OpenPrinterW"), 0U);

    sim.SetDefaultPrinter(u"P2");
    const PrinterHandle printer = OpenPrinterByName(spooler, std::nullopt);
    ASSERT_TRUE(printer);
    ASSERT_TRUE(spooler.DeletePrinter(printer.get()).ok());
    EXPECT_EQ(test::PrinterNames(sim), (std::vector<std::u16string>{u"P1", u"\\\\srv\\Shared"}))
        << "the handle was P2's";

    // Queues are tested for jobs by name.
    SimMachine queued;
    AddPrinters(queued);
    queued.QueueJob(u"P2");
    SpoolerDecorator jobs(queued.machine().spooler);
    EXPECT_FALSE(HasQueuedJobs(jobs, u"P1"));
    EXPECT_TRUE(HasQueuedJobs(jobs, u"P2"));
    EXPECT_EQ(jobs.calls, std::vector<std::string>(4, "EnumJobsW 0|10"));
    EXPECT_EQ(queued.calls().Count("ClosePrinter"), 2U);
    EXPECT_FALSE(HasQueuedJobs(jobs, u"Missing"));
    queued.faults().Fail("EnumJobsW", 5, 1, 1);  // the second call, with the buffer, fails
    EXPECT_FALSE(HasQueuedJobs(jobs, u"P2"));
}

TEST(PrinterOperations, DeletesPrintersAndConnectionsAndCarriesOnAfterAFault) {
    SimMachine sim;
    AddPrinters(sim);
    SpoolerDecorator spooler(sim.machine().spooler);

    spooler.throwWhenStarts = "DeletePrinter";
    EXPECT_NO_THROW(DeletePrinterByName(spooler, u"P1"));
    EXPECT_NO_THROW(DeletePrinterConnectionByName(spooler, u"\\\\srv\\Shared"));
    EXPECT_EQ(spooler.calls.size(), 2U);
    EXPECT_EQ(sim.calls().Count("ClosePrinter"), 1U) << "the handle is closed after the fault";
    EXPECT_EQ(sim.Printers().size(), 3U);

    spooler.throwWhenStarts.clear();
    DeletePrinterByName(spooler, u"P1");
    DeletePrinterConnectionByName(spooler, u"\\\\srv\\Shared");
    DeletePrinterByName(spooler, u"Missing");  // still calls DeletePrinter, on the null handle
    EXPECT_EQ(spooler.calls.back(), "DeletePrinter 0 -> " + std::to_string(win_error::kInvalidHandle));
    EXPECT_EQ(test::PrinterNames(sim), std::vector<std::u16string>{u"P2"});
}

TEST(PrinterForms, ListsUserAndPrinterFormsButNoBuiltInOnes) {
    SimMachine sim;
    AddPrinters(sim);
    Spooler& spooler = sim.machine().spooler;
    EXPECT_TRUE(EnumPrinterForms(spooler, u"P1").empty()) << "a fresh machine has built-in forms only";

    const std::u16string longest(kFormNameMaxChars, u'L');
    for (const sim::SimForm& form :
         {sim::SimForm{u"User", kFormUser}, sim::SimForm{u"ByDriver", kFormPrinter},
          sim::SimForm{longest, kFormUser},
          sim::SimForm{std::u16string(kFormNameMaxChars + 1, u'T'), kFormUser}}) {
        sim.AddForm(form);
    }
    const FormList forms = EnumPrinterForms(spooler, u"P1");
    ASSERT_EQ(forms.size(), 3U) << "the name too long for a record is skipped";
    EXPECT_EQ(forms[0].name + u"|" + forms[1].name, u"User|ByDriver");
    EXPECT_EQ(forms[1].flags, kFormPrinter);
    EXPECT_EQ(forms[2].name, longest);
    EXPECT_TRUE(
        std::all_of(forms.begin(), forms.end(), [](const FormRecord& form) { return form.deletable == 1; }));
    EXPECT_TRUE(EnumPrinterForms(spooler, u"Missing").empty());
}

TEST(PrinterForms, DeletesTheChosenFormsEachAfterItsRegistryEntriesThePerFormKeyFromVistaOnAlone) {
    SimMachine sim;
    AddPrinters(sim);
    AddFormWithEntries(sim, u"Kept", kFormUser);
    AddFormWithEntries(sim, u"Gone", kFormUser);
    AddFormWithEntries(sim, u"ByDriver", kFormPrinter);
    sim.SetValue(kHkeyLocalMachine, kForms, u"Letter", sim::kRegBinary, {1, 2, 3, 4});
    Machine& machine = sim.machine();

    // The deletable forms that are not built in, then every form the printer lists.
    DeleteDeletableForms(machine.spooler, machine.registry, machine.system, u"P1",
                         {{u"Kept", kFormUser, 0}, {u"Letter", kFormBuiltin, 1}, {u"Gone", kFormPrinter, 1}});
    DeleteListedForms(machine.spooler, machine.registry, machine.system, u"P1",
                      EnumPrinterForms(machine.spooler, u"P1"));

    // Each form's value and key go before the form; the built-in Letter stays.
    const std::string forms = "HKLM\\" + NarrowLowBytes(kForms);
    std::vector<std::string> expected;
    for (const std::string form : {"Gone", "Kept", "ByDriver"}) {
        expected.insert(expected.end(), {"RegDeleteValueW " + forms + " " + form,
                                         "SHDeleteKeyW " + forms + "\\" + form, "DeleteFormW " + form});
    }
    EXPECT_EQ(sim.journal(), expected) << "a form kept, built in or deleted before its registry entries";

    // The per-form key goes from Vista on, and no other key.
    SimMachine before;
    before.SetOsVersion(5, 1);
    AddFormWithEntries(before, u"Custom1", kFormUser);
    DeleteFormRegistryEntries(before.machine().registry, before.machine().system, u"Custom1");
    EXPECT_FALSE(before.ValueExists(kHkeyLocalMachine, kForms, u"Custom1"));
    EXPECT_TRUE(before.KeyExists(kHkeyLocalMachine, FormKey(u"Custom1")));
    EXPECT_EQ(before.calls().Count("SHDeleteKeyW"), 0U);

    SimMachine vista;
    vista.CreateKey(kHkeyLocalMachine, FormKey(u"A4x\\Sub"));
    Machine& seams = vista.machine();
    DeleteFormRegistryEntries(seams.registry, seams.system, u"");
    DeleteFormRegistryEntries(seams.registry, seams.system, u"A4x\\Sub");
    EXPECT_TRUE(vista.KeyExists(kHkeyLocalMachine, FormKey(u"A4x\\Sub")));
    DeleteFormRegistryEntries(seams.registry, seams.system, u"A4x");
    EXPECT_FALSE(vista.KeyExists(kHkeyLocalMachine, FormKey(u"A4x")));
    EXPECT_TRUE(vista.KeyExists(kHkeyLocalMachine, kForms));
}

// Each driver's INF path names its environment: "Drv-Windows x64.inf".
std::u16string InfPath(std::u16string_view name, std::u16string_view environment) {
    return std::u16string(name) + u"-" + std::u16string(environment) + u".inf";
}

void AddDriver(SimMachine& sim, std::u16string_view name,
               const std::vector<std::u16string_view>& environments) {
    for (std::u16string_view environment : environments) {
        sim.AddDriver(
            {std::u16string(environment), std::u16string(name), u"data.ppd", InfPath(name, environment)});
    }
}

// "environment|driver" of every remaining driver.
std::vector<std::string> Installed(const SimMachine& sim) {
    std::vector<std::string> drivers;
    for (const sim::SimDriver& driver : sim.Drivers()) {
        drivers.push_back(NarrowLowBytes(driver.environment) + "|" + NarrowLowBytes(driver.name));
    }
    return drivers;
}

struct DeletionRun {
    SimMachine sim;
    SpoolerDecorator spooler{sim.machine().spooler};

    void DeleteDriver(std::u16string_view name) {
        DeletePrinterDriverAllEnvironments(spooler, sim.machine().registry, sim.machine().system, name);
    }
};

TEST(DriverCatalogue, ListsTheDriversOfOneEnvironmentAndDeletesEveryDriverListingX64AfterTheX86Pass) {
    SimMachine sim;
    AddDriver(sim, u"A", {kEnvironmentX64});
    AddDriver(sim, u"B", {kEnvironmentX64, kEnvironmentX86});
    Spooler& spooler = sim.machine().spooler;

    const DriverList x64 = EnumPrinterDriverList(spooler, kEnvironmentX64);
    ASSERT_EQ(x64.size(), 2U);
    EXPECT_EQ(x64[0].name + u"|" + x64[1].name + u"|" + x64[1].environment, u"A|B|Windows x64");
    EXPECT_EQ(EnumPrinterDriverList(spooler, kEnvironmentX86).size(), 1U);
    EXPECT_TRUE(EnumPrinterDriverList(spooler, u"Windows ARM64").empty());
    sim.faults().Fail("EnumPrinterDriversW", 5, 1, 1);
    EXPECT_TRUE(EnumPrinterDriverList(spooler, kEnvironmentX64).empty());

    // Every driver goes, x64 listed after the x86 pass.
    DeletionRun run;
    AddDriver(run.sim, u"A", {kEnvironmentX86, kEnvironmentX64});
    AddDriver(run.sim, u"B", {kEnvironmentX64});
    AddDriver(run.sim, u"C", {kEnvironmentX86, kEnvironmentX64});
    AddDriver(run.sim, u"D", {kEnvironmentX86});
    run.sim.AddPrinter(test::MakePrinter(u"P1", u"C"));

    DeleteAllPrinterDrivers(run.spooler, run.sim.machine().registry, run.sim.machine().system);

    // C is in use and stays, and the next driver still goes; A, gone from both environments after the x86
    // pass, is no longer in the x64 list.
    std::vector<std::string> order;
    for (const std::string& call : run.spooler.calls) {
        if (call.starts_with("Enum") && (order.empty() || order.back() != call.substr(20))) {
            order.push_back(call.substr(20));
        } else if (call.starts_with("DeletePrinterDriverExW Windows NT x86")) {
            order.push_back(call.substr(38, 1));
        }
    }
    EXPECT_EQ(order, (std::vector<std::string>{"Windows NT x86", "A", "C", "D", "Windows x64", "B", "C"}));
    EXPECT_EQ(run.spooler.calls.size(), 4U + 2 * 5 + 4);  // 4 listings, 5 drivers in 2 passes, 4 packages
    EXPECT_EQ(Installed(run.sim), (std::vector<std::string>{"Windows NT x86|C", "Windows x64|C"}));
}

TEST(DriverDeletion, DeletesX86ThenX64WithThePackageReadBeforeAnyDeletionAndOnlyAfterADriverDeletion) {
    struct Case {
        const char* what;
        std::uint32_t osMajor, osMinor;
        const char16_t* architecture;  // nullptr: the machine's own
        std::vector<std::u16string_view> environments;
        std::vector<std::string> calls;
        std::uint64_t lookups;  // GetProcAddress calls: once for both passes, none before Vista
    };
    const std::u16string_view x86 = kEnvironmentX86, x64 = kEnvironmentX64;
    // clang-format off
    const std::vector<Case> cases = {
        // With "x86" the INF path comes from the x86 key, which the first pass removes.
        {"x86", 10, 0, u"x86", {x86, x64},
         {"DeletePrinterDriverExW Windows NT x86|Drv|1|3 -> 0",
          "DeletePrinterDriverPackageW Drv-Windows NT x86.inf|Windows NT x86",
          "DeletePrinterDriverExW Windows x64|Drv|1|3 -> 0",
          "DeletePrinterDriverPackageW Drv-Windows NT x86.inf|Windows x64"}, 1},
        {"Vista, the first with driver packages, x64 only", 6, 0, nullptr, {x64},
         {"DeletePrinterDriverExW Windows NT x86|Drv|1|3 -> 1797",
          "DeletePrinterDriverExW Windows x64|Drv|1|3 -> 0",
          "DeletePrinterDriverPackageW Drv-Windows x64.inf|Windows x64"}, 1},
        {"before Vista", 5, 1, nullptr, {x86, x64},
         {"DeletePrinterDriverExW Windows NT x86|Drv|1|3 -> 0",
          "DeletePrinterDriverExW Windows x64|Drv|1|3 -> 0"}, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeletionRun run;
        run.sim.SetOsVersion(c.osMajor, c.osMinor);
        if (c.architecture != nullptr) {
            run.sim.SetString(kHkeyLocalMachine,
                              u"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
                              u"PROCESSOR_ARCHITECTURE", c.architecture);
        }
        AddDriver(run.sim, u"Drv", c.environments);
        run.DeleteDriver(u"Drv");
        EXPECT_EQ(run.spooler.calls, c.calls);
        EXPECT_TRUE(Installed(run.sim).empty());
        EXPECT_EQ(run.sim.calls().Count("GetProcAddress"), c.lookups);
        // Before Vista not even the INF path is read.
        EXPECT_EQ(run.sim.calls().Count("RegQueryValueExW") + run.sim.calls().Count("LoadLibraryW") == 0,
                  c.lookups == 0);
    }

    // A package goes only after its driver's deletion succeeded.
    DeletionRun run;
    AddDriver(run.sim, u"Used", {kEnvironmentX86, kEnvironmentX64});
    run.sim.AddPrinter(test::MakePrinter(u"P1", u"Used"));
    run.DeleteDriver(u"Used");
    EXPECT_EQ(run.spooler.calls, (std::vector<std::string>{
                                     "DeletePrinterDriverExW Windows NT x86|Used|1|3 -> 3001",
                                     "DeletePrinterDriverExW Windows x64|Used|1|3 -> 3001",
                                 }));
    EXPECT_EQ(run.sim.calls().Count("GetProcAddress"), 0U);

    // Without the package export the driver still goes.
    AddDriver(run.sim, u"Free", {kEnvironmentX64});
    run.sim.SetDriverPackageDeletion(false);
    run.DeleteDriver(u"Free");
    EXPECT_EQ(run.sim.calls().Count("DeletePrinterDriverPackageW"), 0U);
    EXPECT_EQ(Installed(run.sim), (std::vector<std::string>{"Windows NT x86|Used", "Windows x64|Used"}));
}

TEST(DriverDeletion, StructuredExceptionInOnePassLeavesTheOtherToRun) {
    DeletionRun run;
    AddDriver(run.sim, u"Drv", {kEnvironmentX86, kEnvironmentX64});
    AddDriver(run.sim, u"Next", {kEnvironmentX86, kEnvironmentX64});

    run.spooler.throwWhenStarts = "DeletePrinterDriverExW Windows NT x86|Drv";
    EXPECT_NO_THROW(run.DeleteDriver(u"Drv"));
    EXPECT_EQ(Installed(run.sim),
              (std::vector<std::string>{"Windows NT x86|Drv", "Windows NT x86|Next", "Windows x64|Next"}));
    EXPECT_EQ(run.sim.DeletedDriverPackages().size(), 1U);

    // A fault in the package deletion after each driver deletion: every pass and driver still runs.
    run.spooler.throwWhenStarts = "DeletePrinterDriverPackageW";
    EXPECT_NO_THROW(
        DeleteAllPrinterDrivers(run.spooler, run.sim.machine().registry, run.sim.machine().system));
    EXPECT_TRUE(Installed(run.sim).empty());
}

}  // namespace
}  // namespace spoolsweep
