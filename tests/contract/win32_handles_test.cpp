// Win32-only checks of the real seams' plumbing: handle owners keep the last-error value, and a successful
// call reports no error whatever the last-error slot held before.
#include <gtest/gtest.h>

#include "platform/win32/unique_handles.h"
#include "platform/win32/win32_seams.h"
#include "platform/win32/windows_api.h"

namespace spoolsweep::win32 {
namespace {

TEST(Win32Handles, ClosingAHandleKeepsTheLastError) {
    ::SetLastError(1234);
    {
        // Not a handle: CloseHandle fails and would set ERROR_INVALID_HANDLE.
        unique_handle bogus(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x7FF0)));
    }
    EXPECT_EQ(::GetLastError(), 1234U);
}

TEST(Win32Seams, ASuccessfulCallReportsNoErrorAfterAStaleOne) {
    Win32Machine real;
    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0U);
    std::u16string folder =
        FromWide(temp) + u"spsw_stale_error_" + FromWide(std::to_wstring(::GetCurrentProcessId()).c_str());

    ::SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(real.machine().files.CreateDirectory(folder).error, 0U);
    ::SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(real.machine().files.RemoveDirectory(folder).error, 0U);
    ::SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(real.machine().services.OpenManager(SC_MANAGER_CONNECT).error, 0U);
}

TEST(Win32Seams, PredefinedRootsReachTheirHives) {
    Win32Machine real;
    for (Handle root : {kHkeyCurrentUser, kHkeyLocalMachine, kHkeyUsers}) {
        HandleResult opened = real.machine().registry.OpenKey(root, u"");
        EXPECT_EQ(opened.error, 0U) << root;
        RegistryKey key(opened.handle, {&real.machine().registry});
        NameResult first = real.machine().registry.EnumKey(key.get(), 0, kRegNameBufferChars);
        EXPECT_EQ(first.error, 0U) << "every hive has subkeys";
    }
}

TEST(Win32Seams, WidensAndNarrowsWithoutLoss) {
    std::u16string text = u"Dr\u00fccker \u00e9t\u00e9";
    EXPECT_EQ(FromWide(Wide(text).c_str()), text);
    Win32Machine real;
    EXPECT_EQ(real.machine().system.WideToMultiByte(u"Plain Laser", CP_ACP), "Plain Laser");
    EXPECT_EQ(real.machine().system.WideToMultiByte(u"\u00e9", CP_UTF8), "\xC3\xA9");
}

}  // namespace
}  // namespace spoolsweep::win32
