#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/win_errors.h"

namespace spoolsweep::sim {
namespace {

std::vector<std::u16string> FindAll(Files& files, std::u16string_view pattern,
                                    std::uint32_t* error = nullptr) {
    std::vector<std::u16string> names;
    FindResult first = files.FindFirst(pattern);
    if (error != nullptr) {
        *error = first.error;
    }
    if (first.find == 0) {
        return names;
    }
    names.push_back(first.first.name);
    while (auto next = files.FindNext(first.find)) {
        names.push_back(next->name);
    }
    files.FindClose(first.find);
    return names;
}

TEST(SimFiles, WildcardSearchFollowsWindowsRules) {
    SimMachine sim;
    Files& files = sim.machine().files;
    sim.WriteFile(u"C:\\T\\b.TMP", "");
    sim.WriteFile(u"C:\\T\\a.tmp", "");
    sim.WriteFile(u"C:\\T\\a.tmpx", "");
    sim.WriteFile(u"C:\\T\\noext", "");
    sim.CreateFolder(u"C:\\T\\x.tmp");
    sim.WriteFile(u"C:\\T\\x.tmp\\inner.tmp", "");

    EXPECT_EQ(FindAll(files, u"c:\\t\\*.tmp"), (std::vector<std::u16string>{u"a.tmp", u"b.TMP", u"x.tmp"}));
    EXPECT_EQ(FindAll(files, u"C:\\T\\*"),
              (std::vector<std::u16string>{u".", u"..", u"a.tmp", u"a.tmpx", u"b.TMP", u"noext", u"x.tmp"}));
    EXPECT_EQ(FindAll(files, u"C:\\T\\*.*").size(), 7u);
    EXPECT_EQ(FindAll(files, u"C:\\T\\?.tmp"), (std::vector<std::u16string>{u"a.tmp", u"b.TMP", u"x.tmp"}));
    EXPECT_EQ(FindAll(files, u"C:\\T\\noext.*"), std::vector<std::u16string>{u"noext"});
    EXPECT_EQ(FindAll(files, u"C:\\T\\A.TMP"), std::vector<std::u16string>{u"a.tmp"});
    EXPECT_EQ(FindAll(files, u"C:\\*").front(), u"Program Files");  // no dots at the root

    std::uint32_t error = 0;
    EXPECT_TRUE(FindAll(files, u"C:\\T\\*.wmk", &error).empty());
    EXPECT_EQ(error, win_error::kFileNotFound);
    EXPECT_TRUE(FindAll(files, u"C:\\Missing\\*", &error).empty());
    EXPECT_EQ(error, win_error::kPathNotFound);
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
}

TEST(SimFiles, DeletionRespectsReadOnlyFoldersAndWritability) {
    SimMachine sim;
    Files& files = sim.machine().files;
    sim.WriteFile(u"C:\\Windows\\Temp\\,,srv,P.tmp", "x", kFileAttributeReadOnly);
    EXPECT_EQ(files.DeleteFile(u"C:\\Windows\\Temp\\,,srv,P.tmp").error, win_error::kAccessDenied);
    EXPECT_EQ(files.DeleteFile(u"C:\\Windows\\Temp").error, win_error::kAccessDenied);
    EXPECT_EQ(files.DeleteFile(u"C:\\Windows\\Temp\\none.tmp").error, win_error::kFileNotFound);
    EXPECT_EQ(files.DeleteFile(u"C:\\Nowhere\\none.tmp").error, win_error::kPathNotFound);

    EXPECT_TRUE(files.SetAttributes(u"c:\\windows\\temp\\,,SRV,p.tmp", 0).ok());
    EXPECT_EQ(files.GetStatus(u"C:\\Windows\\Temp\\,,srv,P.tmp"), kFileAttributeNormal);
    EXPECT_TRUE(files.SetAttributes(u"C:\\Windows\\Temp", 0).ok());
    EXPECT_EQ(files.GetStatus(u"C:\\Windows\\Temp"), kFileAttributeDirectory);
    EXPECT_TRUE(files.DeleteFile(u"C:\\Windows\\Temp\\,,srv,P.tmp").ok());
    EXPECT_FALSE(sim.FileExists(u"C:\\Windows\\Temp\\,,srv,P.tmp"));

    sim.WriteFile(u"C:\\Share\\f.txt", "x");
    sim.SetFolderWritable(u"C:\\Share", false);
    EXPECT_EQ(files.DeleteFile(u"C:\\Share\\f.txt").error, win_error::kAccessDenied);
    EXPECT_FALSE(files.AppendText(u"C:\\Share\\log.txt", "x"));
    EXPECT_EQ(sim.journal(), (std::vector<std::string>{
                                 "SetFileAttributesW C:\\Windows\\Temp\\,,srv,P.tmp 0x0",
                                 "SetFileAttributesW C:\\Windows\\Temp 0x0",
                                 "DeleteFileW C:\\Windows\\Temp\\,,srv,P.tmp",
                             }));
}

TEST(SimFiles, FoldersAreCreatedAndRemovedOneLevelAtATime) {
    SimMachine sim;
    Files& files = sim.machine().files;
    EXPECT_EQ(files.CreateDirectory(u"C:\\A\\B").error, win_error::kPathNotFound);
    EXPECT_TRUE(files.CreateDirectory(u"C:\\A").ok());
    EXPECT_EQ(files.CreateDirectory(u"c:\\a").error, win_error::kAlreadyExists);
    EXPECT_TRUE(files.CreateDirectory(u"C:\\A\\B").ok());
    EXPECT_EQ(files.RemoveDirectory(u"C:\\A").error, win_error::kDirNotEmpty);
    EXPECT_TRUE(files.RemoveDirectory(u"C:\\A\\B").ok());
    EXPECT_TRUE(files.RemoveDirectory(u"C:\\A").ok());
    EXPECT_EQ(files.RemoveDirectory(u"C:\\A").error, win_error::kFileNotFound);
}

TEST(SimFiles, CopiesTheUpdaterAndShellDeletesWholeTrees) {
    SimMachine sim;
    Files& files = sim.machine().files;
    const std::u16string vantle = u"C:\\Program Files (x86)\\Vantle";
    sim.WriteFile(vantle + u"\\Tamber Driver Updater.exe", "MZ",
                  kFileAttributeReadOnly | kFileAttributeArchive);
    sim.WriteFile(vantle + u"\\data\\cfg.ini", "k=v", kFileAttributeReadOnly);

    EXPECT_EQ(files.CopyFile(vantle + u"\\Missing.exe", vantle + u"_temp\\x.exe", false).error,
              win_error::kFileNotFound);
    EXPECT_EQ(files.CopyFile(vantle + u"\\Tamber Driver Updater.exe", vantle + u"_temp\\x.exe", false).error,
              win_error::kPathNotFound);
    ASSERT_TRUE(files.CreateDirectory(vantle + u"_temp").ok());
    EXPECT_TRUE(files
                    .CopyFile(vantle + u"\\Tamber Driver Updater.exe",
                              vantle + u"_temp\\Tamber Driver Updater.exe", false)
                    .ok());
    EXPECT_EQ(sim.ReadFile(vantle + u"_temp\\Tamber Driver Updater.exe"), "MZ");

    EXPECT_NE(files.ShellDeleteTree(u"C:\\Nope\0\0", kFofSilentNoConfirmationNoErrorUi), 0);
    std::u16string list = vantle + std::u16string(2, u'\0');
    EXPECT_EQ(files.ShellDeleteTree(list, kFofSilentNoConfirmationNoErrorUi), 0);
    EXPECT_FALSE(sim.FolderExists(vantle));
    EXPECT_FALSE(sim.FileExists(vantle + u"\\data\\cfg.ini"));
    EXPECT_TRUE(sim.FolderExists(vantle + u"_temp"));
    EXPECT_EQ(sim.journal().back(), "SHFileOperationW FO_DELETE C:\\Program Files (x86)\\Vantle 0x414");
}

TEST(SimFiles, AppendTextWritesCrLfRelativeToTheCurrentFolder) {
    SimMachine sim;
    Files& files = sim.machine().files;
    EXPECT_TRUE(files.AppendText(u"Spoolsweep_CL.log", "one\n"));
    EXPECT_TRUE(files.AppendText(u"Spoolsweep_CL.log", "two\n"));
    EXPECT_EQ(sim.ReadFile(u"C:\\Users\\admin\\Spoolsweep_CL.log"), "one\r\ntwo\r\n");
    sim.SetCurrentDirectory(u"C:\\Gone");
    EXPECT_FALSE(files.AppendText(u"Spoolsweep_CL.log", "x"));
    EXPECT_EQ(files.GetWindowsDirectory(), u"C:\\Windows");
    EXPECT_EQ(files.GetSystemDirectory(), u"C:\\Windows\\System32");
    EXPECT_EQ(files.GetSpecialFolderPath(kCsidlAppData, false), u"C:\\Users\\admin\\AppData\\Roaming");
    sim.SetSpecialFolder(kCsidlAppData, std::nullopt);
    EXPECT_FALSE(files.GetSpecialFolderPath(kCsidlAppData, false).has_value());
}

TEST(SimFiles, PathsResolveAsWindowsResolvesThem) {
    SimMachine sim;
    Files& files = sim.machine().files;
    sim.WriteFile(u"C:\\Users\\admin\\notes.txt", "n");
    EXPECT_TRUE(files.PathFileExists(u"notes.txt"));
    EXPECT_TRUE(files.PathFileExists(u"c:/users/ADMIN/./Notes.txt"));
    EXPECT_TRUE(files.PathFileExists(u"C:\\Users\\Public\\..\\admin\\notes.txt."));
    EXPECT_TRUE(files.PathFileExists(u"\\Users\\admin\\notes.txt"));
    EXPECT_FALSE(files.PathFileExists(u"\\\\server\\share\\notes.txt"));
    // The status query is GetFileAttributesExW: a pattern names no file, even when its folder exists.
    EXPECT_FALSE(files.GetStatus(u"C:\\Users\\admin\\*").has_value());
    EXPECT_EQ(files.GetStatus(u"C:\\"), kFileAttributeDirectory);
}

TEST(SimFiles, CopyKeepsReadOnlyTargetsAndHonoursFailIfExists) {
    SimMachine sim;
    Files& files = sim.machine().files;
    sim.WriteFile(u"C:\\A\\new.exe", "new");
    sim.WriteFile(u"C:\\B\\old.exe", "old");
    sim.WriteFile(u"C:\\B\\locked.exe", "locked", kFileAttributeReadOnly);
    EXPECT_EQ(files.CopyFile(u"C:\\A\\new.exe", u"C:\\B\\old.exe", true).error, 80u);
    EXPECT_EQ(files.CopyFile(u"C:\\A\\new.exe", u"C:\\B\\locked.exe", false).error, win_error::kAccessDenied);
    EXPECT_TRUE(files.CopyFile(u"C:\\A\\new.exe", u"C:\\B\\OLD.EXE", false).ok());
    EXPECT_EQ(sim.ReadFile(u"C:\\B\\old.exe"), "new");
    EXPECT_EQ(sim.ReadFile(u"C:\\B\\locked.exe"), "locked");
    EXPECT_EQ(sim.journal(), std::vector<std::string>{"CopyFileW C:\\A\\new.exe -> C:\\B\\old.exe"});
}

TEST(SimFiles, ShellDeleteChangesNothingItCannotFinish) {
    SimMachine sim;
    Files& files = sim.machine().files;
    sim.WriteFile(u"C:\\Tree\\Locked\\f.txt", "x");
    sim.SetFolderWritable(u"C:\\Tree\\Locked", false);
    std::u16string list = std::u16string(u"C:\\Tree") + std::u16string(2, u'\0');
    EXPECT_EQ(files.ShellDeleteTree(list, kFofSilentNoConfirmationNoErrorUi), 5);
    EXPECT_NE(files.ShellDeleteTree(list, 0x0004), 0);  // would ask for confirmation
    EXPECT_TRUE(sim.FileExists(u"C:\\Tree\\Locked\\f.txt"));
    sim.SetFolderWritable(u"C:\\Tree\\Locked", true);
    EXPECT_EQ(files.ShellDeleteTree(list, kFofSilentNoConfirmationNoErrorUi), 0);
    EXPECT_FALSE(sim.FolderExists(u"C:\\Tree"));
}

}  // namespace
}  // namespace spoolsweep::sim
