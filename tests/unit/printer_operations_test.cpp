#include "spooler/printer_operations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "spooler_decorator.h"

namespace spoolsweep {
namespace {

using sim::SimMachine;
using testing::SpoolerDecorator;

// A printer using the driver; a connection when serverName is given.
sim::SimPrinter MakePrinter(std::u16string_view name, std::u16string_view driver,
                            std::u16string_view serverName = {}) {
    sim::SimPrinter printer;
    printer.name = name;
    printer.driver = driver;
    printer.serverName = serverName;
    return printer;
}

constexpr std::u16string_view kFormsKey = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Forms";

void AddLocalPrinters(SimMachine& sim, std::initializer_list<std::u16string_view> names) {
    sim.AddDriver({u"Windows x64", u"Drv", u"drv.ppd", u""});
    for (std::u16string_view name : names) {
        sim.AddPrinter(MakePrinter(name, u"Drv"));
    }
}

std::vector<std::u16string> PrinterNames(const SimMachine& sim) {
    std::vector<std::u16string> names;
    for (const sim::SimPrinter& printer : sim.Printers()) {
        names.push_back(printer.name);
    }
    return names;
}

bool HasForm(const SimMachine& sim, std::u16string_view name) {
    const auto forms = sim.Forms();
    return std::any_of(forms.begin(), forms.end(),
                       [&](const sim::SimForm& form) { return form.name == name; });
}

// A form as the spooler keeps it: the form itself, its value under Forms and, from Vista on, its own key.
void AddFormWithRegistryEntries(SimMachine& sim, std::u16string_view name, std::uint32_t flags) {
    sim.AddForm({std::u16string(name), flags});
    sim.SetValue(kHkeyLocalMachine, kFormsKey, name, sim::kRegBinary, {1, 2, 3, 4});
    sim.CreateKey(kHkeyLocalMachine, std::u16string(kFormsKey) + u"\\" + std::u16string(name));
}

bool FormKeyExists(const SimMachine& sim, std::u16string_view name) {
    return sim.KeyExists(kHkeyLocalMachine, std::u16string(kFormsKey) + u"\\" + std::u16string(name));
}

// Position of the first journal line that starts with `call` and mentions `name`; -1 when none does.
long JournalIndex(const SimMachine& sim, std::string_view call, std::string_view name) {
    const auto& journal = sim.journal();
    for (std::size_t i = 0; i < journal.size(); ++i) {
        if (journal[i].starts_with(call) && journal[i].find(name) != std::string::npos) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

bool JournalMentions(const SimMachine& sim, std::string_view name) {
    const auto& journal = sim.journal();
    return std::any_of(journal.begin(), journal.end(),
                       [&](const std::string& line) { return line.find(name) != std::string::npos; });
}

TEST(PrinterOperations, OpensTheDefaultPrinterWhenNoNameIsGiven) {
    SimMachine sim;
    AddLocalPrinters(sim, {u"P1", u"P2"});
    Spooler& spooler = sim.machine().spooler;

    EXPECT_FALSE(OpenPrinterByName(spooler, std::nullopt)) << "no default printer: nothing is opened";
    EXPECT_EQ(sim.calls().Count("OpenPrinterW"), 0U);

    sim.SetDefaultPrinter(u"P2");
    sim.QueueJob(u"P2");
    const PrinterHandle printer = OpenPrinterByName(spooler, std::nullopt);
    ASSERT_TRUE(printer);
    // Only P2 has a job, so a job seen through the handle proves which printer it is.
    const auto sized = spooler.EnumJobs(printer.get(), 0, 10, 0);
    EXPECT_EQ(spooler.EnumJobs(printer.get(), 0, 10, sized.bytesNeeded).entries.size(), 1U);
}

TEST(PrinterOperations, TestsQueuesForJobs) {
    SimMachine sim;
    AddLocalPrinters(sim, {u"Idle", u"Busy"});
    sim.QueueJob(u"Busy");
    SpoolerDecorator spooler(sim.machine().spooler);

    EXPECT_FALSE(HasQueuedJobs(spooler, u"Idle"));
    EXPECT_TRUE(HasQueuedJobs(spooler, u"Busy"));
    EXPECT_EQ(spooler.CountStarting("EnumJobsW 0|10"), 4U) << "two calls per test, from job 0, at most 10";
    EXPECT_EQ(sim.calls().Count("ClosePrinter"), sim.calls().Count("OpenPrinterW"));

    EXPECT_FALSE(HasQueuedJobs(spooler, u"Missing"));
    sim.faults().Fail("EnumJobsW", 5);
    EXPECT_FALSE(HasQueuedJobs(spooler, u"Busy"));
}

TEST(PrinterOperations, DeletesPrintersAndConnections) {
    SimMachine sim;
    AddLocalPrinters(sim, {u"P1", u"P2"});
    sim.AddPrinter(MakePrinter(u"\\\\srv\\Shared", u"Drv", u"\\\\srv"));
    SpoolerDecorator spooler(sim.machine().spooler);

    DeletePrinterByName(spooler, u"P1");
    DeletePrinterConnectionByName(spooler, u"\\\\srv\\Shared");
    EXPECT_EQ(PrinterNames(sim), std::vector<std::u16string>{u"P2"});

    // A printer that cannot be opened still gets its DeletePrinter call, on the null handle.
    spooler.calls.clear();
    DeletePrinterByName(spooler, u"Missing");
    ASSERT_EQ(spooler.calls.size(), 1U);
    EXPECT_TRUE(spooler.calls[0].starts_with("DeletePrinter 0 -> ")) << spooler.calls[0];
    EXPECT_NE(spooler.calls[0], "DeletePrinter 0 -> 0");
    EXPECT_EQ(PrinterNames(sim), std::vector<std::u16string>{u"P2"});
    EXPECT_EQ(sim.calls().Count("ClosePrinter"), sim.calls().Count("OpenPrinterW") - 1);
}

TEST(PrinterOperations, CarriesOnAfterAStructuredExceptionInADeletion) {
    SimMachine sim;
    AddLocalPrinters(sim, {u"P1"});
    sim.AddPrinter(MakePrinter(u"\\\\srv\\Shared", u"Drv", u"\\\\srv"));
    SpoolerDecorator spooler(sim.machine().spooler);

    spooler.throwWhenStarts = "DeletePrinter ";
    EXPECT_NO_THROW(DeletePrinterByName(spooler, u"P1"));
    EXPECT_EQ(sim.calls().Count("ClosePrinter"), 1U) << "the handle is closed after the fault";
    spooler.throwWhenStarts = "DeletePrinterConnectionW";
    EXPECT_NO_THROW(DeletePrinterConnectionByName(spooler, u"\\\\srv\\Shared"));

    EXPECT_EQ(spooler.CountStarting("DeletePrinter"), 2U);
    EXPECT_EQ(PrinterNames(sim).size(), 2U);
}

TEST(PrinterForms, ListsUserAndPrinterFormsButNoBuiltInOnes) {
    SimMachine sim;
    AddLocalPrinters(sim, {u"P1"});
    Spooler& spooler = sim.machine().spooler;
    EXPECT_TRUE(EnumPrinterForms(spooler, u"P1").empty()) << "a fresh machine has built-in forms only";

    const std::u16string longest(kFormNameMaxChars, u'L');
    sim.AddForm({u"User", kFormUser});
    sim.AddForm({u"ByDriver", kFormPrinter});
    sim.AddForm({longest, kFormUser});
    sim.AddForm({std::u16string(kFormNameMaxChars + 1, u'T'), kFormUser});

    const FormList forms = EnumPrinterForms(spooler, u"P1");
    ASSERT_EQ(forms.size(), 3U);
    EXPECT_EQ(forms[0].name, u"User");
    EXPECT_EQ(forms[0].flags, kFormUser);
    EXPECT_EQ(forms[1].name, u"ByDriver");
    EXPECT_EQ(forms[1].flags, kFormPrinter);
    EXPECT_EQ(forms[2].name, longest) << "a name that fits is kept whole; a longer one is skipped";
    for (const FormRecord& form : forms) {
        EXPECT_EQ(form.deletable, 1U);
    }
    EXPECT_TRUE(EnumPrinterForms(spooler, u"Missing").empty());
}

TEST(PrinterForms, DeletesEachFormsRegistryValueBeforeTheForm) {
    SimMachine sim;
    AddLocalPrinters(sim, {u"P1"});
    AddFormWithRegistryEntries(sim, u"Custom1", kFormUser);
    AddFormWithRegistryEntries(sim, u"Custom2", kFormPrinter);
    Machine& machine = sim.machine();

    const FormList forms = EnumPrinterForms(machine.spooler, u"P1");
    DeleteListedForms(machine.spooler, machine.registry, machine.system, u"P1", forms);

    for (const char* name : {"Custom1", "Custom2"}) {
        const std::u16string wide(name, name + std::char_traits<char>::length(name));
        EXPECT_FALSE(HasForm(sim, wide)) << name;
        EXPECT_FALSE(sim.ValueExists(kHkeyLocalMachine, kFormsKey, wide)) << name;
        EXPECT_FALSE(FormKeyExists(sim, wide)) << name;
        const long valueDeleted = JournalIndex(sim, "RegDeleteValueW", name);
        const long formDeleted = JournalIndex(sim, "DeleteFormW", name);
        ASSERT_GE(valueDeleted, 0) << name;
        EXPECT_LT(valueDeleted, formDeleted) << name;
    }
    EXPECT_LT(JournalIndex(sim, "DeleteFormW", "Custom1"), JournalIndex(sim, "RegDeleteValueW", "Custom2"));
    EXPECT_TRUE(HasForm(sim, u"Letter"));
}

TEST(PrinterForms, DeletesOnlyDeletableFormsThatAreNotBuiltIn) {
    SimMachine sim;
    AddLocalPrinters(sim, {u"P1"});
    AddFormWithRegistryEntries(sim, u"Kept", kFormUser);
    AddFormWithRegistryEntries(sim, u"Gone", kFormPrinter);
    sim.SetValue(kHkeyLocalMachine, kFormsKey, u"Letter", sim::kRegBinary, {1, 2, 3, 4});
    const FormList forms{{u"Kept", kFormUser, 0}, {u"Letter", kFormBuiltin, 1}, {u"Gone", kFormPrinter, 1}};
    Machine& machine = sim.machine();

    DeleteDeletableForms(machine.spooler, machine.registry, machine.system, u"P1", forms);

    EXPECT_FALSE(HasForm(sim, u"Gone"));
    EXPECT_FALSE(sim.ValueExists(kHkeyLocalMachine, kFormsKey, u"Gone"));
    EXPECT_TRUE(HasForm(sim, u"Kept"));
    EXPECT_TRUE(sim.ValueExists(kHkeyLocalMachine, kFormsKey, u"Kept"));
    EXPECT_TRUE(FormKeyExists(sim, u"Kept"));
    EXPECT_TRUE(HasForm(sim, u"Letter"));
    EXPECT_TRUE(sim.ValueExists(kHkeyLocalMachine, kFormsKey, u"Letter"));
    EXPECT_FALSE(JournalMentions(sim, "Kept"));
    EXPECT_FALSE(JournalMentions(sim, "Letter"));
}

TEST(PrinterForms, LeavesThePerFormKeyBeforeVista) {
    SimMachine sim;
    sim.SetOsVersion(5, 1);
    AddFormWithRegistryEntries(sim, u"Custom1", kFormUser);
    Machine& machine = sim.machine();

    DeleteFormRegistryEntries(machine.registry, machine.system, u"Custom1");

    EXPECT_FALSE(sim.ValueExists(kHkeyLocalMachine, kFormsKey, u"Custom1"));
    EXPECT_TRUE(FormKeyExists(sim, u"Custom1"));
    EXPECT_EQ(sim.calls().Count("SHDeleteKeyW"), 0U);
}

TEST(PrinterForms, NeverDeletesAKeyOtherThanTheFormsOwn) {
    SimMachine sim;
    AddFormWithRegistryEntries(sim, u"A4x", kFormUser);
    sim.CreateKey(kHkeyLocalMachine, std::u16string(kFormsKey) + u"\\A4x\\Sub");
    Machine& machine = sim.machine();

    DeleteFormRegistryEntries(machine.registry, machine.system, u"");
    DeleteFormRegistryEntries(machine.registry, machine.system, u"A4x\\Sub");

    EXPECT_TRUE(sim.KeyExists(kHkeyLocalMachine, kFormsKey));
    EXPECT_TRUE(sim.KeyExists(kHkeyLocalMachine, std::u16string(kFormsKey) + u"\\A4x\\Sub"));
    DeleteFormRegistryEntries(machine.registry, machine.system, u"A4x");
    EXPECT_FALSE(FormKeyExists(sim, u"A4x")) << "the form's own key goes with its subkeys";
}

}  // namespace
}  // namespace spoolsweep
