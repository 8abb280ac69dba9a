// The portable headers mirror a few Windows values; each one is checked here against the Windows headers.
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/spooler.h"
#include "platform/structured_exception.h"
#include "platform/system.h"
#include "platform/win32/windows_api.h"
#include "platform/win_errors.h"

namespace spoolsweep::win32 {
namespace e = win_error;

static_assert(e::kSuccess == ERROR_SUCCESS);
static_assert(e::kFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(e::kPathNotFound == ERROR_PATH_NOT_FOUND);
static_assert(e::kAccessDenied == ERROR_ACCESS_DENIED);
static_assert(e::kInvalidHandle == ERROR_INVALID_HANDLE);
static_assert(e::kNotEnoughMemory == ERROR_NOT_ENOUGH_MEMORY);
static_assert(e::kInvalidParameter == ERROR_INVALID_PARAMETER);
static_assert(e::kInsufficientBuffer == ERROR_INSUFFICIENT_BUFFER);
static_assert(e::kDirNotEmpty == ERROR_DIR_NOT_EMPTY);
static_assert(e::kAlreadyExists == ERROR_ALREADY_EXISTS);
static_assert(e::kMoreData == ERROR_MORE_DATA);
static_assert(e::kNoMoreItems == ERROR_NO_MORE_ITEMS);
static_assert(e::kServiceRequestTimeout == ERROR_SERVICE_REQUEST_TIMEOUT);
static_assert(e::kServiceDatabaseLocked == ERROR_SERVICE_DATABASE_LOCKED);
static_assert(e::kServiceAlreadyRunning == ERROR_SERVICE_ALREADY_RUNNING);
static_assert(e::kServiceDoesNotExist == ERROR_SERVICE_DOES_NOT_EXIST);
static_assert(e::kServiceCannotAcceptCtrl == ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
static_assert(e::kServiceNotActive == ERROR_SERVICE_NOT_ACTIVE);
static_assert(e::kUnknownPrinterDriver == ERROR_UNKNOWN_PRINTER_DRIVER);
static_assert(e::kInvalidPrinterName == ERROR_INVALID_PRINTER_NAME);
static_assert(e::kPrinterDriverInUse == ERROR_PRINTER_DRIVER_IN_USE);

// Files.
static_assert(kFileAttributeReadOnly == FILE_ATTRIBUTE_READONLY);
static_assert(kFileAttributeHidden == FILE_ATTRIBUTE_HIDDEN);
static_assert(kFileAttributeSystem == FILE_ATTRIBUTE_SYSTEM);
static_assert(kFileAttributeDirectory == FILE_ATTRIBUTE_DIRECTORY);
static_assert(kFileAttributeArchive == FILE_ATTRIBUTE_ARCHIVE);
static_assert(kFileAttributeNormal == FILE_ATTRIBUTE_NORMAL);
static_assert(kCsidlAppData == CSIDL_APPDATA);
static_assert(kFoDelete == FO_DELETE);
static_assert(kFofSilentNoConfirmationNoErrorUi == (FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI));
static_assert(kMaxPath == MAX_PATH);

// Processes.
static_assert(kProcessTerminate == PROCESS_TERMINATE);
static_assert(kProcessAllAccess == (STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0xFFF));
static_assert(kStillActive == STILL_ACTIVE);

// Registry. The predefined roots are pointers, not constants; the seam maps them by name and the contract
// tests open keys under each of them.
static_assert(kKeyAllAccess == KEY_ALL_ACCESS);

// Services.
static_assert(kScManagerLock == SC_MANAGER_LOCK);
static_assert(kScManagerAllAccess == SC_MANAGER_ALL_ACCESS);
static_assert(kServiceAllAccess == SERVICE_ALL_ACCESS);
static_assert(kServiceActive == SERVICE_ACTIVE);
static_assert(static_cast<DWORD>(ServiceState::Stopped) == SERVICE_STOPPED);
static_assert(static_cast<DWORD>(ServiceState::StartPending) == SERVICE_START_PENDING);
static_assert(static_cast<DWORD>(ServiceState::StopPending) == SERVICE_STOP_PENDING);
static_assert(static_cast<DWORD>(ServiceState::Running) == SERVICE_RUNNING);
static_assert(static_cast<DWORD>(ServiceState::ContinuePending) == SERVICE_CONTINUE_PENDING);
static_assert(static_cast<DWORD>(ServiceState::PausePending) == SERVICE_PAUSE_PENDING);
static_assert(static_cast<DWORD>(ServiceState::Paused) == SERVICE_PAUSED);

// Spooler.
static_assert(kPrinterEnumLocal == PRINTER_ENUM_LOCAL);
static_assert(kPrinterEnumConnections == PRINTER_ENUM_CONNECTIONS);
static_assert(kPrinterAllAccess == PRINTER_ALL_ACCESS);
static_assert(kServerAccessEnumerate == SERVER_ACCESS_ENUMERATE);
static_assert(kDpdDeleteUnusedFiles == DPD_DELETE_UNUSED_FILES);
static_assert(kFormUser == FORM_USER);
static_assert(kFormBuiltin == FORM_BUILTIN);
static_assert(kFormPrinter == FORM_PRINTER);

// System.
static_assert(kProcessorArchitectureIntel == PROCESSOR_ARCHITECTURE_INTEL);
static_assert(kProcessorArchitectureAmd64 == PROCESSOR_ARCHITECTURE_AMD64);
static_assert(kCpThreadAcp == CP_THREAD_ACP);
static_assert(kMbOk == MB_OK);
static_assert(kMbOkCancel == MB_OKCANCEL);
static_assert(kIdOk == IDOK);
static_assert(kMbIconStop == MB_ICONSTOP);

// The exception object copies both records whole.
static_assert(sizeof(CSE::exceptionRecord) >= sizeof(EXCEPTION_RECORD));
static_assert(sizeof(CSE::contextRecord) >= sizeof(CONTEXT));

}  // namespace spoolsweep::win32
