#pragma once
// Owners for the Win32 handle kinds the real seams open and close within one call. Closing keeps the
// last-error value, so a caller can read the error of the call that failed after the owner is gone.
#include "platform/unique_resource.h"
#include "platform/win32/windows_api.h"
#include "platform/win32/winspool_library.h"

namespace spoolsweep::win32 {

// Runs a close function without disturbing GetLastError.
template <class Close>
void CloseKeepingError(Close&& close) noexcept {
    DWORD saved = ::GetLastError();
    close();
    ::SetLastError(saved);
}

template <class H, H Invalid, auto CloseFunction>
struct HandleTraits {
    using handle_type = H;
    static constexpr handle_type invalid() noexcept { return Invalid; }
    void close(handle_type handle) const noexcept {
        CloseKeepingError([handle] { static_cast<void>(CloseFunction(handle)); });
    }
};

// INVALID_HANDLE_VALUE is not a constant expression: these traits compare against it at run time.
template <auto CloseFunction>
struct InvalidValueHandleTraits {
    using handle_type = HANDLE;
    static handle_type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    void close(handle_type handle) const noexcept {
        CloseKeepingError([handle] { static_cast<void>(CloseFunction(handle)); });
    }
};

using unique_hkey = UniqueResource<HandleTraits<HKEY, nullptr, &::RegCloseKey>>;
using unique_sc_handle = UniqueResource<HandleTraits<SC_HANDLE, nullptr, &::CloseServiceHandle>>;
using unique_printer = UniqueResource<HandleTraits<HANDLE, nullptr, &ClosePrinterHandle>>;
using unique_handle = UniqueResource<HandleTraits<HANDLE, nullptr, &::CloseHandle>>;
using unique_hmodule = UniqueResource<HandleTraits<HMODULE, nullptr, &::FreeLibrary>>;
using unique_find = UniqueResource<InvalidValueHandleTraits<&::FindClose>>;
using unique_snapshot = UniqueResource<InvalidValueHandleTraits<&::CloseHandle>>;
using unique_file = UniqueResource<InvalidValueHandleTraits<&::CloseHandle>>;
using unique_local = UniqueResource<HandleTraits<HLOCAL, nullptr, &::LocalFree>>;

// Portable handles are the Win32 values themselves.
template <class H>
[[nodiscard]] Handle ToPortable(H handle) noexcept {
    return reinterpret_cast<Handle>(handle);
}

template <class H>
[[nodiscard]] H FromPortable(Handle handle) noexcept {
    // The value was a Win32 handle before it crossed the seam; turning it back is the point.
    return reinterpret_cast<H>(handle);  // NOLINT(performance-no-int-to-ptr)
}

}  // namespace spoolsweep::win32
