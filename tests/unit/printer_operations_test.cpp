#include "spooler/printer_operations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/win_errors.h"
#include "spooler_decorator.h"
#include "tests/unit/run_helpers.h"

namespace spoolsweep {
namespace {

using sim::SimMachine;
using testing::SpoolerDecorator;

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

TEST(PrinterOperations, OpensTheDefaultPrinterWhenNoNameIsGiven) {
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
}

TEST(PrinterOperations, TestsQueuesForJobs) {
    SimMachine sim;
    AddPrinters(sim);
    sim.QueueJob(u"P2");
    SpoolerDecorator spooler(sim.machine().spooler);

    EXPECT_FALSE(HasQueuedJobs(spooler, u"P1"));
    EXPECT_TRUE(HasQueuedJobs(spooler, u"P2"));
    EXPECT_EQ(spooler.calls, std::vector<std::string>(4, "EnumJobsW 0|10"));
    EXPECT_EQ(sim.calls().Count("ClosePrinter"), 2U);
    EXPECT_FALSE(HasQueuedJobs(spooler, u"Missing"));
    sim.faults().Fail("EnumJobsW", 5, 1, 1);  // the second call, with the buffer, fails
    EXPECT_FALSE(HasQueuedJobs(spooler, u"P2"));
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

TEST(PrinterForms, DeletesTheChosenFormsEachAfterItsRegistryEntries) {
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
}

TEST(PrinterForms, DeletesThePerFormKeyFromVistaOnAndNoOtherKey) {
    SimMachine before;
    before.SetOsVersion(5, 1);
    AddFormWithEntries(before, u"Custom1", kFormUser);
    DeleteFormRegistryEntries(before.machine().registry, before.machine().system, u"Custom1");
    EXPECT_FALSE(before.ValueExists(kHkeyLocalMachine, kForms, u"Custom1"));
    EXPECT_TRUE(before.KeyExists(kHkeyLocalMachine, FormKey(u"Custom1")));
    EXPECT_EQ(before.calls().Count("SHDeleteKeyW"), 0U);

    SimMachine vista;
    vista.CreateKey(kHkeyLocalMachine, FormKey(u"A4x\\Sub"));
    Machine& machine = vista.machine();
    DeleteFormRegistryEntries(machine.registry, machine.system, u"");
    DeleteFormRegistryEntries(machine.registry, machine.system, u"A4x\\Sub");
    EXPECT_TRUE(vista.KeyExists(kHkeyLocalMachine, FormKey(u"A4x\\Sub")));
    DeleteFormRegistryEntries(machine.registry, machine.system, u"A4x");
    EXPECT_FALSE(vista.KeyExists(kHkeyLocalMachine, FormKey(u"A4x")));
    EXPECT_TRUE(vista.KeyExists(kHkeyLocalMachine, kForms));
}

}  // namespace
}  // namespace spoolsweep
