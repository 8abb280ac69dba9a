#pragma once
// The Win32 error codes the program acts on or that the simulated machine reports. The win32 build checks
// every value here against <winerror.h>.
#include <cstdint>

namespace spoolsweep::win_error {

inline constexpr std::uint32_t kSuccess = 0;
inline constexpr std::uint32_t kFileNotFound = 2;
inline constexpr std::uint32_t kPathNotFound = 3;
inline constexpr std::uint32_t kAccessDenied = 5;
inline constexpr std::uint32_t kInvalidHandle = 6;
inline constexpr std::uint32_t kNotEnoughMemory = 8;
inline constexpr std::uint32_t kInvalidParameter = 87;
inline constexpr std::uint32_t kInsufficientBuffer = 122;
inline constexpr std::uint32_t kDirNotEmpty = 145;
inline constexpr std::uint32_t kAlreadyExists = 183;
inline constexpr std::uint32_t kMoreData = 234;
inline constexpr std::uint32_t kNoMoreItems = 259;
// ERROR_STOPPED_ON_SYMLINK (mingw-w64's <winerror.h> lacks it): the registry seam's answer to a key on a
// path it writes under that is a registry link.
inline constexpr std::uint32_t kStoppedOnSymlink = 681;
inline constexpr std::uint32_t kServiceRequestTimeout = 1053;
inline constexpr std::uint32_t kServiceDatabaseLocked = 1055;
inline constexpr std::uint32_t kServiceAlreadyRunning = 1056;
inline constexpr std::uint32_t kServiceDoesNotExist = 1060;
inline constexpr std::uint32_t kServiceCannotAcceptCtrl = 1061;
inline constexpr std::uint32_t kServiceNotActive = 1062;
inline constexpr std::uint32_t kUnknownPort = 1796;
inline constexpr std::uint32_t kUnknownPrinterDriver = 1797;
inline constexpr std::uint32_t kUnknownPrintProcessor = 1798;
inline constexpr std::uint32_t kInvalidPrinterName = 1801;
inline constexpr std::uint32_t kPrinterAlreadyExists = 1802;
inline constexpr std::uint32_t kPrinterDriverInUse = 3001;

}  // namespace spoolsweep::win_error
