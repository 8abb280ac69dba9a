#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/win_errors.h"
#include "tests/contract/contract_helpers.h"

namespace spoolsweep::sim {
namespace {

using contract::FindNames;

// Beyond the file contract: no "." or ".." at a drive's root, relative and drive-relative paths, and UNC
// paths (which a contract test could not try without a network).
TEST(SimFiles, ResolvesWhatTheFileContractCannotTry) {
    SimMachine sim;
    Files& files = sim.machine().files;
    sim.WriteFile(u"C:\\Users\\admin\\notes.txt", "n");
    EXPECT_EQ(FindNames(files, u"C:\\*").front(), u"Program Files");
    EXPECT_TRUE(files.PathFileExists(u"notes.txt"));
    EXPECT_TRUE(files.PathFileExists(u"\\Users\\admin\\notes.txt"));
    EXPECT_FALSE(files.PathFileExists(u"\\\\server\\share\\notes.txt"));
    EXPECT_EQ(files.GetStatus(u"C:\\"), kFileAttributeDirectory);
    EXPECT_EQ(sim.OpenHandleCount(), 0u);
}

TEST(SimFiles, DeletionRespectsReadOnlyFoldersAndWritability) {
    SimMachine sim;
    Files& files = sim.machine().files;
    sim.WriteFile(u"C:\\Windows\\Temp\\,,srv,P.tmp", "x", kFileAttributeReadOnly);
    EXPECT_EQ(files.DeleteFile(u"C:\\Windows\\Temp").error, win_error::kAccessDenied);
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
