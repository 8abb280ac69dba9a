#pragma once
// A test-only Spooler that forwards to another one, notes the deletions it passes on, and can raise a CSE
// inside one of them, as a structured exception surfaces through an MSVC build's translator. The real seams
// never throw.
#include <string>
#include <string_view>
#include <vector>

#include "platform/spooler.h"
#include "platform/structured_exception.h"
#include "platform/text.h"

namespace spoolsweep::testing {

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
    Status DeleteForm(Handle printer, std::u16string_view name) override {
        return inner_.DeleteForm(printer, name);
    }
    Status AddForm(Handle printer, const FormInfo& form) override { return inner_.AddForm(printer, form); }
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

}  // namespace spoolsweep::testing
