// The Service Control Manager seam over advapi32.
#include <vector>

#include "platform/win32/unique_handles.h"
#include "platform/win32/win32_seams.h"
#include "platform/win32/windows_api.h"

namespace spoolsweep::win32 {
namespace {

SC_HANDLE AsService(Handle handle) {
    return FromPortable<SC_HANDLE>(handle);
}

HandleResult Opened(void* handle) {
    return {ToPortable(handle), ErrorAfter(handle != nullptr)};
}

}  // namespace

HandleResult Win32Services::OpenManager(std::uint32_t access) {
    return Opened(::OpenSCManagerW(nullptr, nullptr, access));
}

HandleResult Win32Services::LockDatabase(Handle manager) {
    return Opened(::LockServiceDatabase(AsService(manager)));
}

void Win32Services::UnlockDatabase(Handle lock) {
    CloseKeepingError([lock] { static_cast<void>(::UnlockServiceDatabase(FromPortable<SC_LOCK>(lock))); });
}

HandleResult Win32Services::OpenService(Handle manager, std::u16string_view name, std::uint32_t access) {
    std::wstring serviceName = Wide(name);
    return Opened(::OpenServiceW(AsService(manager), serviceName.c_str(), access));
}

void Win32Services::CloseServiceHandle(Handle handle) {
    unique_sc_handle owner(AsService(handle));
}

ServiceStatusResult Win32Services::QueryStatus(Handle service) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    BOOL ok = ::QueryServiceStatusEx(AsService(service), SC_STATUS_PROCESS_INFO,
                                     reinterpret_cast<BYTE*>(&status), sizeof(status), &needed);
    return {ErrorAfter(ok != FALSE), static_cast<ServiceState>(ok ? status.dwCurrentState : SERVICE_STOPPED)};
}

Status Win32Services::ControlStop(Handle service) {
    SERVICE_STATUS status{};
    return {ErrorAfter(::ControlService(AsService(service), SERVICE_CONTROL_STOP, &status) != FALSE)};
}

Status Win32Services::StartService(Handle service) {
    return {ErrorAfter(::StartServiceW(AsService(service), 0, nullptr) != FALSE)};
}

EnumResult<std::u16string> Win32Services::EnumDependentServices(Handle service, std::uint32_t stateFilter,
                                                                std::uint32_t bufferBytes) {
    std::vector<BYTE> buffer(bufferBytes);
    DWORD needed = 0;
    DWORD returned = 0;
    auto* entries = buffer.empty() ? nullptr : reinterpret_cast<ENUM_SERVICE_STATUSW*>(buffer.data());
    BOOL ok =
        ::EnumDependentServicesW(AsService(service), stateFilter, entries, bufferBytes, &needed, &returned);
    EnumResult<std::u16string> result;
    result.ok = ok != FALSE;
    result.error = ErrorAfter(result.ok);
    result.bytesNeeded = needed;
    for (DWORD i = 0; result.ok && entries != nullptr && i < returned; ++i) {
        result.entries.push_back(FromWide(entries[i].lpServiceName));
    }
    return result;
}

}  // namespace spoolsweep::win32
