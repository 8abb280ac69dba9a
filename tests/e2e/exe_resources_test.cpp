// The resources linked into Spoolsweep.exe, read back from the built file the way Windows reads them:
//   exe_resources_test PATH\TO\Spoolsweep.exe   (a Linux path is taken as Wine's drive Z:)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/unique_handles.h"
#include "platform/win32/windows_api.h"
#include "resource.h"

namespace {

std::wstring g_exePath;

class ExeResources : public ::testing::Test {
  protected:
    void SetUp() override {
        module_.reset(::LoadLibraryExW(g_exePath.c_str(), nullptr,
                                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
        ASSERT_TRUE(module_) << "cannot load the exe as data: " << ::GetLastError();
    }

    std::wstring String(UINT id) {
        const wchar_t* text = nullptr;
        int length = ::LoadStringW(module_.get(), id, reinterpret_cast<LPWSTR>(&text), 0);
        return length > 0 ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring();
    }

    spoolsweep::win32::unique_hmodule module_;
};

TEST_F(ExeResources, HoldsTheApplicationStrings) {
    EXPECT_EQ(String(IDS_ABOUTBOX), L"&About Spoolsweep...");
    EXPECT_EQ(String(IDS_APP_CAPTION), L"Spoolsweep");
    EXPECT_EQ(String(IDS_NO_PRINTERS), L"There are no Printers installed on the system.");
    EXPECT_EQ(
        String(IDS_ALL_PRINTERS_CHECKED),
        L"In case all the Installed Printers need to be deleted, please check the box - Delete All Printer "
        L"Drivers");
    EXPECT_EQ(
        String(IDS_DRIVER_KEPT),
        L"Driver- %s is being used by some other PNP Printer also,So only Printer- %s will be deleted and "
        L"underlying Driver will remain.");
    EXPECT_EQ(String(IDS_DELETE_ALL_DRIVERS),
              L"Please note that ALL Printer Drivers will be deleted from the system. Click OK to continue.");
    EXPECT_EQ(
        String(IDS_PRINTERS_BUSY),
        L"The following Printers cannot be deleted, because they still have Print Jobs queued to them.\n\n");
    EXPECT_EQ(String(IDS_VERSION_LABEL), L"Version:");
    EXPECT_EQ(String(IDS_NOTHING_SELECTED), L"No Printer has been selected for deletion, please select it.");
    EXPECT_EQ(
        String(IDS_CLOSE_APPLICATIONS),
        L"Please close all the applications before proceeding to delete the Printer Driver.\nIf the "
        L"applications are closed then please press OK to continue deleting the Printer Driver else press "
        L"Cancel to abort the deletion of Printer Driver.");
    EXPECT_EQ(
        String(IDS_DELETE_PRESETS),
        L"Select OK to delete the Tamber Driver and your associated presets.\nSelect Cancel to delete only "
        L"the Tamber Driver.");
}

TEST_F(ExeResources, CarriesItsIconAndManifest) {
    EXPECT_NE(::FindResourceW(module_.get(), MAKEINTRESOURCEW(IDR_MAINFRAME), RT_GROUP_ICON), nullptr);
    HRSRC manifest = ::FindResourceW(module_.get(), MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(manifest, nullptr);
    const char* text = static_cast<const char*>(::LockResource(::LoadResource(module_.get(), manifest)));
    std::string body(text, ::SizeofResource(module_.get(), manifest));
    EXPECT_NE(body.find("level=\"requireAdministrator\""), std::string::npos);
    EXPECT_NE(body.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
}

TEST_F(ExeResources, IsVersion3_4_0_15) {
    HRSRC found = ::FindResourceW(module_.get(), MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    ASSERT_NE(found, nullptr);
    const auto* block = static_cast<const BYTE*>(::LockResource(::LoadResource(module_.get(), found)));
    std::vector<BYTE> copy(block, block + ::SizeofResource(module_.get(), found));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT size = 0;
    ASSERT_TRUE(::VerQueryValueW(copy.data(), L"\\", reinterpret_cast<void**>(&info), &size));
    EXPECT_EQ(info->dwFileVersionMS, MAKELONG(4, 3));
    EXPECT_EQ(info->dwFileVersionLS, MAKELONG(15, 0));
    EXPECT_EQ(info->dwProductVersionMS, MAKELONG(4, 3));
    EXPECT_EQ(info->dwProductVersionLS, MAKELONG(15, 0));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: exe_resources_test PATH\\Spoolsweep.exe\n");
        return 2;
    }
    g_exePath = argv[1];
    if (!g_exePath.empty() && g_exePath.front() == L'/') {
        g_exePath = L"Z:" + g_exePath;
    }
    return RUN_ALL_TESTS();
}
