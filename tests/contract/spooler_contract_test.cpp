// The print spooler seam: enumerations in two calls, opening, deleting and the default printer.
#include <algorithm>
#include <tuple>

#include "contract_helpers.h"
#include "platform/files.h"
#include "platform/spooler.h"
#include "world.h"

namespace spoolsweep::contract {
namespace {

constexpr std::uint32_t kLocalAndConnections = kPrinterEnumLocal | kPrinterEnumConnections;

class SpoolerContract : public WorldTest {
  protected:
    Spooler& spooler() { return machine().spooler; }

    std::vector<PrinterInfo> Printers() {
        return EnumerateTwice([this](std::uint32_t bytes) {
                   return spooler().EnumPrinters(kLocalAndConnections, bytes);
               })
            .entries;
    }

    std::vector<DriverInfo> Drivers(std::u16string_view environment) {
        return EnumerateTwice(
                   [&](std::uint32_t bytes) { return spooler().EnumPrinterDrivers(environment, bytes); })
            .entries;
    }

    std::vector<DriverDefinition> Definitions(std::u16string_view environment) {
        return EnumerateTwice(
                   [&](std::uint32_t bytes) { return spooler().EnumDriverDefinitions(environment, bytes); })
            .entries;
    }

    std::vector<FormInfo> Forms(Handle printer) {
        return EnumerateTwice([&](std::uint32_t bytes) { return spooler().EnumForms(printer, bytes); })
            .entries;
    }

    // The driver or form of this name, if listed.
    template <class Entry>
    static std::optional<Entry> Named(const std::vector<Entry>& entries, std::u16string_view name) {
        const auto found = std::find_if(entries.begin(), entries.end(),
                                        [&](const Entry& entry) { return entry.name == name; });
        return found == entries.end() ? std::nullopt : std::optional<Entry>(*found);
    }

    std::optional<PrinterInfo> FindPrinter(std::u16string_view name) {
        for (const PrinterInfo& printer : Printers()) {
            if (printer.printerName == std::u16string(name)) {
                return printer;
            }
        }
        return std::nullopt;
    }

    bool HasDriver(std::u16string_view environment, std::u16string_view name) {
        return Named(Drivers(environment), name).has_value();
    }

    void AddPrinterOnDriverA(std::u16string_view name) {
        world().AddDriver(kEnvironmentX64, u"Contract Driver A", u"NorvelCA.PPD");
        world().AddPrinter(name, u"Contract Driver A");
    }

    PrinterHandle Open(std::u16string_view name) {
        HandleResult opened = spooler().OpenPrinter(name, kPrinterAllAccess);
        EXPECT_EQ(opened.error, 0U) << NarrowLowBytes(name);
        EXPECT_NE(opened.handle, 0U);
        return PrinterHandle(opened.handle, {&spooler()});
    }
};

TEST_F(SpoolerContract, ListsLocalPrintersAndDriversInTwoCalls) {
    AddPrinterOnDriverA(u"Contract Plain");
    world().AddPrinter(u"Contract Shared", u"Contract Driver A", u"cshare");

    auto plain = FindPrinter(u"Contract Plain");
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(plain->driverName, u"Contract Driver A");
    EXPECT_EQ(plain->serverName.value_or(u""), u"") << "a local printer has no server";
    // Windows and Wine differ in how an unshared printer says so (empty or absent); both mean no share.
    EXPECT_EQ(plain->shareName.value_or(u""), u"");
    auto shared = FindPrinter(u"Contract Shared");
    ASSERT_TRUE(shared.has_value());
    EXPECT_EQ(shared->shareName.value_or(u""), u"cshare");

    auto found = Named(Drivers(kEnvironmentX64), u"Contract Driver A");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->environment, kEnvironmentX64);
    EXPECT_FALSE(HasDriver(kEnvironmentX86, u"Contract Driver A"));
}

// A buffer one byte short of the size the first call gave is refused, for printers, drivers and forms alike.
TEST_F(SpoolerContract, EnumerationsRefuseABufferOneByteShort) {
    AddPrinterOnDriverA(u"Contract Forms");
    PrinterHandle printer = Open(u"Contract Forms");
    auto expectRefused = [](auto call) {
        auto sizing = call(0U);
        ASSERT_FALSE(sizing.ok);
        ASSERT_EQ(sizing.error, win_error::kInsufficientBuffer);
        auto shortBuffer = call(sizing.bytesNeeded - 1);
        EXPECT_FALSE(shortBuffer.ok);
        EXPECT_EQ(shortBuffer.error, win_error::kInsufficientBuffer);
        EXPECT_TRUE(shortBuffer.entries.empty());
        EXPECT_EQ(shortBuffer.bytesNeeded, sizing.bytesNeeded);
    };
    expectRefused(
        [this](std::uint32_t bytes) { return spooler().EnumPrinters(kLocalAndConnections, bytes); });
    expectRefused(
        [this](std::uint32_t bytes) { return spooler().EnumPrinterDrivers(kEnvironmentX64, bytes); });
    expectRefused(
        [this](std::uint32_t bytes) { return spooler().EnumDriverDefinitions(kEnvironmentX64, bytes); });
    expectRefused([&](std::uint32_t bytes) { return spooler().EnumForms(printer.get(), bytes); });
}

TEST_F(SpoolerContract, ReportsTheLastChosenDefaultPrinterInTwoCalls) {
    AddPrinterOnDriverA(u"Contract First");
    world().AddPrinter(u"Contract Default", u"Contract Driver A");
    world().SetDefaultPrinter(u"Contract First");
    world().SetDefaultPrinter(u"Contract Default");

    DefaultPrinterResult sizing = spooler().GetDefaultPrinter(0);
    EXPECT_FALSE(sizing.ok);
    EXPECT_EQ(sizing.error, win_error::kInsufficientBuffer);
    ASSERT_EQ(sizing.charsNeeded, std::u16string_view(u"Contract Default").size() + 1)
        << "terminator included";
    DefaultPrinterResult named = spooler().GetDefaultPrinter(sizing.charsNeeded);
    EXPECT_TRUE(named.ok);
    EXPECT_EQ(named.error, 0U);
    EXPECT_EQ(named.name, u"Contract Default");
}

TEST_F(SpoolerContract, UnknownPrintersAndNullHandlesFailWithoutEffect) {
    AddPrinterOnDriverA(u"Contract Survivor");
    HandleResult opened = spooler().OpenPrinter(u"Contract No Such Printer", kPrinterAllAccess);
    EXPECT_EQ(opened.handle, 0U);
    EXPECT_EQ(opened.error, win_error::kInvalidPrinterName);

    EXPECT_EQ(spooler().DeletePrinter(0).error, win_error::kInvalidHandle);
    EXPECT_EQ(spooler().DeleteForm(0, u"Letter").error, win_error::kInvalidHandle);
    auto forms = spooler().EnumForms(0, 0);
    EXPECT_FALSE(forms.ok);
    EXPECT_EQ(forms.error, win_error::kInvalidHandle);
    EXPECT_TRUE(FindPrinter(u"Contract Survivor").has_value());
}

TEST_F(SpoolerContract, AnIdlePrinterHasNoJobs) {
    SKIP_ON_WINE("EnumJobsW is a stub that fails");
    AddPrinterOnDriverA(u"Contract Idle");
    PrinterHandle printer = Open(u"Contract Idle");

    auto jobs = spooler().EnumJobs(printer.get(), 0, 10, 0);
    EXPECT_TRUE(jobs.ok) << jobs.error;
    EXPECT_EQ(jobs.bytesNeeded, 0U);
    EXPECT_TRUE(jobs.entries.empty());
}

// Through a printer, or through the local print server that an empty name opens.
TEST_F(SpoolerContract, ListsBuiltInFormsInTwoCalls) {
    AddPrinterOnDriverA(u"Contract Forms");
    for (std::u16string_view name : {u"Contract Forms", u""}) {
        PrinterHandle printer(
            spooler().OpenPrinter(name, name.empty() ? kServerAccessEnumerate : kPrinterAllAccess).handle,
            {&spooler()});
        auto letter = Named(Forms(printer.get()), u"Letter");
        ASSERT_TRUE(letter.has_value()) << "opened as \"" << NarrowLowBytes(name) << "\"";
        EXPECT_EQ(letter->flags, kFormBuiltin);
    }
}

// The restore adds a deleted form back through the print server, with its size and area, never over a form
// of that name.
TEST_F(SpoolerContract, DeletesAUserFormAndAddsItBack) {
    SKIP_ON_WINE("AddFormW and DeleteFormW are stubs; EnumFormsW lists only the built-in forms");
    AddPrinterOnDriverA(u"Contract Forms");
    world().AddPrinterForm(u"Contract Form 1");
    PrinterHandle printer = Open(u"Contract Forms");
    auto listed = [&] { return Named(Forms(printer.get()), u"Contract Form 1"); };
    ASSERT_TRUE(listed().has_value());
    EXPECT_EQ(listed()->flags, kFormUser);

    EXPECT_TRUE(spooler().DeleteForm(printer.get(), u"Contract Form 1").ok());
    EXPECT_FALSE(listed().has_value());

    const HandleResult opened = spooler().OpenPrinter(u"", kServerAccessAdminister | kServerAccessEnumerate);
    const PrinterHandle server(opened.handle, {&spooler()});
    const FormInfo form{kFormUser, u"Contract Form 1", 100000, 150000, 5000, 6000, 95000, 144000};
    ASSERT_TRUE(spooler().AddForm(server.get(), form).ok());
    const FormInfo other{kFormUser, u"CONTRACT FORM 1", 1000, 1000, 0, 0, 1000, 1000};
    EXPECT_NE(spooler().AddForm(server.get(), other).error, 0U) << "a form of that name was replaced";
    const auto back = listed();
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(
        std::tie(back->flags, back->width, back->height, back->left, back->top, back->right, back->bottom),
        std::tie(form.flags, form.width, form.height, form.left, form.top, form.right, form.bottom));
}

class PrinterDefinitionContract : public SpoolerContract {
  protected:
    // "Contract Queue" read whole and deleted, then given a comment, location and priority of its own.
    PrinterDefinition ReadAndDelete() {
        AddPrinterOnDriverA(u"Contract Queue");
        PrinterHandle printer = Open(u"Contract Queue");
        const PrinterDefinitionResult read = spooler().GetPrinter(printer.get());
        EXPECT_EQ(read.error, 0U);
        PrinterDefinition definition = read.definition;
        EXPECT_EQ(std::tie(definition.name, definition.driver, definition.settings.port),
                  std::tie(u"Contract Queue", u"Contract Driver A", u"FILE:"));
        EXPECT_TRUE(spooler().DeletePrinter(printer.get()).ok());
        definition.settings.comment = u"Floor 2";
        definition.settings.location = u"Room 201";
        definition.settings.priority = 7;
        return definition;
    }

    // AddPrinterW's error for `printer`, the queue it adds closed again.
    std::uint32_t Add(const PrinterDefinition& printer) {
        const HandleResult added = spooler().AddPrinter(printer);
        const PrinterHandle owner(added.handle, {&spooler()});
        return added.error;
    }
};

// The restore adds a deleted queue back from its level-2 definition, on a driver that exists.
TEST_F(PrinterDefinitionContract, ReadsAPrintersDefinitionAndAddsItBack) {
    const PrinterDefinition definition = ReadAndDelete();
    PrinterDefinition driverless = definition;
    driverless.driver = u"Contract No Such Driver";
    EXPECT_EQ(Add(driverless), win_error::kUnknownPrinterDriver);
    EXPECT_FALSE(FindPrinter(u"Contract Queue").has_value());

    ASSERT_EQ(Add(definition), 0U);
    const PrinterHandle printer = Open(u"Contract Queue");
    const PrinterDefinition back = spooler().GetPrinter(printer.get()).definition;
    EXPECT_EQ(
        std::tie(back.name, back.driver, back.settings.port, back.settings.comment, back.settings.location,
                 back.settings.priority),
        std::tie(definition.name, definition.driver, definition.settings.port, definition.settings.comment,
                 definition.settings.location, definition.settings.priority));
    // Its data goes back into the spooler's key of the printer, a subkey made on the way.
    ASSERT_TRUE(
        spooler()
            .SetPrinterDataEx(printer.get(), u"PrinterDriverData\\Contract", u"Duplex", 4, {2, 0, 0, 0})
            .ok());
    EXPECT_TRUE(world().ValueExists(
        kHkeyLocalMachine,
        u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Contract Queue\\PrinterDriverData\\Contract",
        u"Duplex"));
}

// Nor over a printer of that name, whatever its case, nor on a port that does not exist.
TEST_F(PrinterDefinitionContract, AddsNoPrinterOverOneOfThatNameNorOnAMissingPort) {
    SKIP_ON_WINE("AddPrinterW adds a printer on a port that does not exist and replaces one of that name");
    PrinterDefinition definition = ReadAndDelete();
    PrinterDefinition portless = definition;
    portless.settings.port = u"CONTRACTNOPORT:";
    EXPECT_EQ(Add(portless), win_error::kUnknownPort);
    EXPECT_FALSE(FindPrinter(u"Contract Queue").has_value());

    ASSERT_EQ(Add(definition), 0U);
    definition.name = u"CONTRACT QUEUE";
    definition.settings.comment = u"replaced";
    EXPECT_EQ(Add(definition), win_error::kPrinterAlreadyExists);
    const PrinterHandle printer = Open(u"Contract Queue");
    EXPECT_EQ(spooler().GetPrinter(printer.get()).definition.settings.comment, u"Floor 2");
}

// The restore adds a deleted driver back from its level-6 definition, the spooler copying each file from the
// folder the definition names into its own driver folder.
TEST_F(SpoolerContract, ReadsADriversDefinitionAndAddsItBack) {
    world().AddDriver(kEnvironmentX64, u"Contract Driver E", u"NorvelCE.PPD");
    const auto read = Named(Definitions(kEnvironmentX64), u"Contract Driver E");
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(std::tuple(read->environment, read->details.version),
              std::tuple(std::u16string(kEnvironmentX64), 3U));
    EXPECT_TRUE(read->dataFile.ends_with(u"\\3\\NorvelCE.PPD")) << NarrowLowBytes(read->dataFile);
    EXPECT_FALSE(Named(Definitions(kEnvironmentX86), u"Contract Driver E").has_value());
    ASSERT_TRUE(spooler().DeletePrinterDriverEx(kEnvironmentX64, u"Contract Driver E", 0, 3).ok());

    DriverDefinition kept = WithFilesIn(*read, world().OwnFolder());
    kept.details.manufacturer = u"Norvel";
    kept.details.provider = u"Norvel Imaging";
    for (const std::u16string& file : DriverFilesOf(kept)) {
        world().WriteFile(file, "kept " + NarrowLowBytes(file));
    }
    EXPECT_EQ(spooler().AddPrinterDriverEx(kept, kApdCopyNewFiles | kApdCopyFromDirectory).error, 0U);
    const auto back = Named(Definitions(kEnvironmentX64), u"Contract Driver E");
    ASSERT_TRUE(back.has_value());
    const DriverDefinition got = WithFilesIn(*back, u"");
    const DriverDefinition expected = WithFilesIn(kept, u"");
    EXPECT_EQ(
        std::tie(got.dataFile, got.details.driverPath, got.details.configFile, got.details.dependentFiles),
        std::tie(expected.dataFile, expected.details.driverPath, expected.details.configFile,
                 expected.details.dependentFiles));
    EXPECT_EQ(world().ReadFile(back->dataFile), "kept " + NarrowLowBytes(kept.dataFile));
    SKIP_ON_WINE("AddPrinterDriverExW keeps no more of a level-6 definition than level 4 holds");
    EXPECT_EQ(got, expected);
}

TEST_F(SpoolerContract, RefusesToDeleteADriverInUse) {
    SKIP_ON_WINE("DeletePrinterDriverExW deletes a driver that a printer still uses");
    world().AddDriver(kEnvironmentX64, u"Contract Driver B", u"NorvelCB.PPD");
    world().AddPrinter(u"Contract User", u"Contract Driver B");

    Status inUse = spooler().DeletePrinterDriverEx(kEnvironmentX64, u"Contract Driver B", 0, 3);
    EXPECT_EQ(inUse.error, win_error::kPrinterDriverInUse);
    EXPECT_TRUE(HasDriver(kEnvironmentX64, u"Contract Driver B"));
}

TEST_F(SpoolerContract, DeletesAnOpenedPrinterThenItsDriverOnceNoPrinterUsesIt) {
    world().AddDriver(kEnvironmentX64, u"Contract Driver B", u"NorvelCB.PPD");
    world().AddPrinter(u"Contract User", u"Contract Driver B");
    {
        PrinterHandle printer = Open(u"Contract User");
        ASSERT_TRUE(spooler().DeletePrinter(printer.get()).ok());
    }
    EXPECT_FALSE(FindPrinter(u"Contract User").has_value());
    EXPECT_EQ(spooler().OpenPrinter(u"Contract User", kPrinterAllAccess).handle, 0U);

    EXPECT_TRUE(spooler().DeletePrinterDriverEx(kEnvironmentX64, u"Contract Driver B", 0, 3).ok());
    EXPECT_FALSE(HasDriver(kEnvironmentX64, u"Contract Driver B"));
    EXPECT_FALSE(spooler().DeletePrinterDriverEx(kEnvironmentX64, u"Contract Driver B", 0, 3).ok());
}

TEST_F(SpoolerContract, DeletesAnUnusedDriverWithItsFiles) {
    SKIP_ON_WINE("DeletePrinterDriverExW with a delete flag fails with 87 and removes nothing");
    world().AddDriver(kEnvironmentX64, u"Contract Driver C", u"NorvelCC.PPD");

    EXPECT_TRUE(spooler()
                    .DeletePrinterDriverEx(kEnvironmentX64, u"Contract Driver C", kDpdDeleteUnusedFiles, 3)
                    .ok());
    EXPECT_FALSE(HasDriver(kEnvironmentX64, u"Contract Driver C"));
}

TEST_F(SpoolerContract, ADriverMissingFromAnEnvironmentIsUnknown) {
    SKIP_ON_WINE("DeletePrinterDriverExW never reports 1797 for a missing driver");
    world().AddDriver(kEnvironmentX64, u"Contract Driver D", u"NorvelCD.PPD");

    Status missing =
        spooler().DeletePrinterDriverEx(kEnvironmentX86, u"Contract Driver D", kDpdDeleteUnusedFiles, 3);
    EXPECT_EQ(missing.error, win_error::kUnknownPrinterDriver);
    EXPECT_TRUE(HasDriver(kEnvironmentX64, u"Contract Driver D"));
}

TEST_F(SpoolerContract, DeletingAConnectionThatDoesNotExistFails) {
    SKIP_ON_WINE("DeletePrinterConnectionW reports success for any name");
    EXPECT_FALSE(spooler().DeletePrinterConnection(u"\\\\contract-server\\No Such Printer").ok());
}

// The restore's connection to a printer no server shares fails with an error (Wine's fails without setting
// one; the seam reports ERROR_NOT_SUPPORTED then) and leaves no connection.
TEST_F(SpoolerContract, AddsNoConnectionToAPrinterNoServerShares) {
    EXPECT_NE(spooler().AddPrinterConnection(u"\\\\contract-nowhere\\No Such Printer").error, 0U);
    EXPECT_FALSE(FindPrinter(u"\\\\contract-nowhere\\No Such Printer").has_value());
}

// Each port with the monitor that serves it; a port the local port monitor adds is listed next, and cannot be
// added twice. The restore adds a printer's local port this way when it is gone.
TEST_F(SpoolerContract, ListsPortsWithTheirMonitorsAndAddsALocalPort) {
    const auto ports = [&] {
        return EnumerateTwice([&](std::uint32_t bytes) { return spooler().ListPorts(bytes); }).entries;
    };
    // Windows names the local port monitor "Local Port", Wine "Local Monitor".
    const std::u16string local = world().IsWine() ? u"Local Monitor" : u"Local Port";
    const std::optional<PortInfo> lpt1 = Named(ports(), u"LPT1:");
    ASSERT_TRUE(lpt1.has_value());
    EXPECT_EQ(lpt1->monitor, local);
    const std::u16string file = world().OwnFolder() + u"\\contract.prn";
    ASSERT_FALSE(Named(ports(), file).has_value());
    ASSERT_EQ(spooler().AddLocalPort(file).error, 0U);
    const std::optional<PortInfo> added = Named(ports(), file);
    ASSERT_TRUE(added.has_value()) << "the added port is not listed";
    EXPECT_EQ(added->monitor, local);
    EXPECT_NE(spooler().AddLocalPort(file).error, 0U) << "a port that exists was added again";
}

// A package's folder copied into the driver store under its own name, its INF then there. Wine's
// UploadPrinterDriverPackageW is a stub that returns E_NOTIMPL, which a restore names.
TEST_F(SpoolerContract, UploadsADriverPackageIntoTheDriverStore) {
    const std::u16string folder = world().OwnFolder() + u"\\pkg.inf_amd64_0001";
    world().CreateFolder(folder);
    world().WriteFile(folder + u"\\pkg.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n");
    const Status uploaded = spooler().UploadDriverPackage(folder + u"\\pkg.inf", u"Windows x64");
    if (world().IsWine()) {
        constexpr std::uint32_t kNotImplemented = 0x80004001;
        EXPECT_EQ(uploaded.error, kNotImplemented);
        GTEST_SKIP() << "Wine's UploadPrinterDriverPackageW returns E_NOTIMPL";
    }
    ASSERT_TRUE(uploaded.ok()) << uploaded.error;
    EXPECT_TRUE(world().FileExists(
        u"C:\\Windows\\System32\\DriverStore\\FileRepository\\pkg.inf_amd64_0001\\pkg.inf"));
}

TEST_F(SpoolerContract, OffersDriverPackageDeletion) {
    SKIP_ON_WINE("winspool.drv does not export DeletePrinterDriverPackageW");
    EXPECT_TRUE(spooler().CanDeletePrinterDriverPackage());
}

}  // namespace
}  // namespace spoolsweep::contract
