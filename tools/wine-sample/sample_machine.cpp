// Prepares a Wine prefix as a sample office machine: two Tamber printers sharing one Tamber driver, a third
// Tamber printer with its own driver, and a plain laser printer. Run it with tools/wine-run before the demo;
// printers and drivers that are already there are left as they are.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/win32/windows_api.h"

namespace {

struct SampleDriver {
    const wchar_t* name;
    const wchar_t* dataFile;
};

struct SamplePrinter {
    const wchar_t* name;
    const wchar_t* driver;
    const wchar_t* share;
};

const SampleDriver kDrivers[] = {
    {L"Tamber PS Driver", L"NorvelAB12.PPD"},
    {L"Tamber PCL Driver", L"NorvelCD34.PPD"},
    {L"Generic Laser Driver", L"GENLASER.PPD"},
};

const SamplePrinter kPrinters[] = {
    {L"Tamber Office", L"Tamber PS Driver", nullptr},
    {L"Tamber Studio", L"Tamber PS Driver", L"studio"},
    {L"Tamber Plotter", L"Tamber PCL Driver", nullptr},
    {L"Plain Laser", L"Generic Laser Driver", nullptr},
};

bool WriteDummy(const std::wstring& path) {
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out << "sample driver file";
    return static_cast<bool>(out);
}

bool AddDriver(const SampleDriver& driver) {
    wchar_t environment[] = L"Windows x64";
    wchar_t folder[MAX_PATH] = {};
    DWORD needed = 0;
    if (!::GetPrinterDriverDirectoryW(nullptr, environment, 1, reinterpret_cast<BYTE*>(folder),
                                      sizeof(folder), &needed)) {
        return false;
    }
    std::wstring base = std::wstring(folder) + L"\\";
    std::wstring stem(driver.dataFile, std::wstring(driver.dataFile).find(L'.'));
    std::wstring driverFile = base + stem + L".DLL";
    std::wstring dataFile = base + driver.dataFile;
    std::wstring configFile = base + stem + L"UI.DLL";
    if (!WriteDummy(driverFile) || !WriteDummy(dataFile) || !WriteDummy(configFile)) {
        return false;
    }
    std::wstring name = driver.name;
    DRIVER_INFO_3W info{};
    info.cVersion = 3;
    info.pName = name.data();
    info.pEnvironment = environment;
    info.pDriverPath = driverFile.data();
    info.pDataFile = dataFile.data();
    info.pConfigFile = configFile.data();
    return ::AddPrinterDriverW(nullptr, 3, reinterpret_cast<BYTE*>(&info)) != FALSE;
}

bool PrinterExists(const wchar_t* name) {
    HANDLE printer = nullptr;
    std::wstring printerName = name;
    if (!::OpenPrinterW(printerName.data(), &printer, nullptr)) {
        return false;
    }
    ::ClosePrinter(printer);
    return true;
}

bool AddPrinter(const SamplePrinter& sample) {
    std::wstring name = sample.name;
    std::wstring driver = sample.driver;
    std::wstring share = sample.share ? sample.share : L"";
    wchar_t port[] = L"FILE:";
    wchar_t processor[] = L"WinPrint";
    wchar_t datatype[] = L"RAW";
    PRINTER_INFO_2W info{};
    info.pPrinterName = name.data();
    info.pShareName = sample.share ? share.data() : nullptr;
    info.pPortName = port;
    info.pDriverName = driver.data();
    info.pPrintProcessor = processor;
    info.pDatatype = datatype;
    info.Attributes = sample.share ? PRINTER_ATTRIBUTE_SHARED : 0;
    HANDLE printer = ::AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
    if (printer == nullptr) {
        return false;
    }
    ::ClosePrinter(printer);
    return true;
}

}  // namespace

int main() {
    int failures = 0;
    for (const SampleDriver& driver : kDrivers) {
        if (!AddDriver(driver)) {
            std::fwprintf(stderr, L"cannot add driver %ls: error %lu\n", driver.name, ::GetLastError());
            ++failures;
        }
    }
    for (const SamplePrinter& printer : kPrinters) {
        if (PrinterExists(printer.name)) {
            continue;
        }
        if (!AddPrinter(printer)) {
            std::fwprintf(stderr, L"cannot add printer %ls: error %lu\n", printer.name, ::GetLastError());
            ++failures;
        }
    }
    std::printf("sample machine: %d drivers, %d printers\n", static_cast<int>(std::size(kDrivers)),
                static_cast<int>(std::size(kPrinters)));
    return failures == 0 ? 0 : 1;
}
