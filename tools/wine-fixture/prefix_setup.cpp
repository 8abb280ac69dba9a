#include "prefix_setup.h"

#include <array>

namespace spoolsweep::prefix {

std::wstring DriverFolder(const std::wstring& environment) {
    std::array<wchar_t, MAX_PATH> folder{};
    DWORD needed = 0;
    std::wstring env = environment;
    if (!::GetPrinterDriverDirectoryW(nullptr, env.data(), 1, reinterpret_cast<BYTE*>(folder.data()),
                                      sizeof(folder), &needed)) {
        return {};
    }
    return std::wstring(folder.data()) + L"\\";
}

bool WriteBytes(const std::wstring& path, std::string_view contents) {
    // A failed CreateFileW answers INVALID_HANDLE_VALUE, the "no handle" of these traits.
    const UniqueResource<win32::InvalidValueHandleTraits<&::CloseHandle>> file(::CreateFileW(
        path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file &&
           ::WriteFile(file.get(), contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr) !=
               FALSE &&
           written == contents.size();
}

bool InstallDriver(const std::wstring& environment, const std::wstring& name, const DriverFiles& files,
                   std::string_view contents) {
    const std::wstring folder = DriverFolder(environment);
    if (folder.empty()) {
        return false;
    }
    for (const std::wstring* file : {&files.driver, &files.data, &files.config}) {
        if (!WriteBytes(folder + *file, contents)) {
            return false;
        }
    }
    DriverFiles names = files;
    std::wstring driverName = name;
    std::wstring env = environment;
    DRIVER_INFO_3W info{};
    info.cVersion = 3;
    info.pName = driverName.data();
    info.pEnvironment = env.data();
    info.pDriverPath = names.driver.data();
    info.pDataFile = names.data.data();
    info.pConfigFile = names.config.data();
    return ::AddPrinterDriverW(nullptr, 3, reinterpret_cast<BYTE*>(&info)) != FALSE;
}

bool InstallPrinter(const std::wstring& name, const std::wstring& driver, const std::wstring& share,
                    const std::wstring& port) {
    std::wstring printerName = name;
    std::wstring driverName = driver;
    std::wstring shareName = share;
    std::wstring portName = port;
    std::wstring processor = L"WinPrint";
    std::wstring datatype = L"RAW";
    PRINTER_INFO_2W info{};
    info.pPrinterName = printerName.data();
    info.pShareName = share.empty() ? nullptr : shareName.data();
    info.pPortName = portName.data();
    info.pDriverName = driverName.data();
    info.pPrintProcessor = processor.data();
    info.pDatatype = datatype.data();
    info.Attributes = share.empty() ? 0 : PRINTER_ATTRIBUTE_SHARED;
    const win32::unique_printer printer(::AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info)));
    return static_cast<bool>(printer);
}

win32::unique_hkey CreateKey(HKEY root, const std::wstring& path) {
    win32::unique_hkey key;
    if (::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr) !=
        ERROR_SUCCESS) {
        key.reset();
    }
    return key;
}

}  // namespace spoolsweep::prefix
