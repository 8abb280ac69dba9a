#pragma once
// The arranging side of the contract tests: a machine in a known state, made either on the simulated machine
// or on the real Windows API (under Wine in the project's runs). Each seam's behaviour is then written once
// against machine() and runs on both.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "platform/machine.h"
#include "platform/text.h"

namespace spoolsweep::contract {

inline constexpr std::u16string_view kEnvironmentX86 = u"Windows NT x86";
inline constexpr std::u16string_view kEnvironmentX64 = u"Windows x64";
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;

class World {
  public:
    virtual ~World() = default;

    [[nodiscard]] virtual Machine& machine() = 0;
    // The real API is Wine's: the tests skip the behaviours where Wine is known to differ from Windows.
    [[nodiscard]] virtual bool IsWine() const = 0;

    // Spooler. Drivers are version-3 drivers with a data file; printers are local.
    virtual void AddDriver(std::u16string_view environment, std::u16string_view name,
                           std::u16string_view dataFile) = 0;
    virtual void AddPrinter(std::u16string_view name, std::u16string_view driver,
                            std::u16string_view share = {}) = 0;
    virtual void AddPrinterForm(std::u16string_view name) = 0;
    virtual void SetDefaultPrinter(std::u16string_view name) = 0;

    // Registry: a key under HKEY_CURRENT_USER that belongs to this test and is gone afterwards.
    [[nodiscard]] virtual std::u16string OwnKey() = 0;
    virtual void CreateKey(Handle root, std::u16string_view path) = 0;
    virtual void SetValue(Handle root, std::u16string_view path, std::u16string_view name, std::uint32_t type,
                          const std::vector<std::uint8_t>& data) = 0;
    [[nodiscard]] virtual bool KeyExists(Handle root, std::u16string_view path) = 0;
    [[nodiscard]] virtual bool ValueExists(Handle root, std::u16string_view path,
                                           std::u16string_view name) = 0;
    // Makes the HKEY_CURRENT_USER key `path` a registry link (REG_LINK) to the existing key `target`.
    virtual void AddKeyLink(std::u16string_view path, std::u16string_view target) = 0;
    virtual void SetEnvironmentVariable(std::u16string_view name, std::u16string_view value) = 0;

    // Files: an empty folder that belongs to this test and is gone afterwards.
    [[nodiscard]] virtual std::u16string OwnFolder() = 0;
    virtual void CreateFolder(std::u16string_view path) = 0;
    virtual void WriteFile(std::u16string_view path, std::string_view contents,
                           std::uint32_t attributes = 0x20) = 0;
    [[nodiscard]] virtual std::optional<std::string> ReadFile(std::u16string_view path) = 0;
    [[nodiscard]] virtual bool FileExists(std::u16string_view path) = 0;
    [[nodiscard]] virtual bool FolderExists(std::u16string_view path) = 0;
    enum class LinkKind { SymbolicLink, Junction, HardLink };
    // Makes `path` a link of `kind` to `target`, which exists (a folder for a junction, a file for a hard
    // link). False when this platform cannot make that kind of link: the test says so and skips.
    [[nodiscard]] virtual bool AddLink(std::u16string_view path, std::u16string_view target,
                                       LinkKind kind) = 0;

    // Services: another holder of the service database lock, until the world ends.
    virtual void HoldServiceDatabaseLock() = 0;

    // Processes: a running process this test may end; its image name and id.
    struct StartedProcess {
        std::u16string exeFile;
        std::uint32_t processId = 0;
    };
    [[nodiscard]] virtual StartedProcess StartProcess() = 0;
    // Waits until an ended process has gone (real processes end asynchronously).
    virtual void AwaitExit(std::uint32_t processId) = 0;
};

// Made by the platform's half of the suite.
[[nodiscard]] std::unique_ptr<World> MakeWorld();

// Registry values as the registry stores them.
// One fresh world per test.
class WorldTest : public ::testing::Test {
  protected:
    void SetUp() override { world_ = MakeWorld(); }
    void TearDown() override { world_.reset(); }

    World& world() { return *world_; }
    Machine& machine() { return world_->machine(); }

  private:
    std::unique_ptr<World> world_;
};

#define SKIP_ON_WINE(reason)                                             \
    do {                                                                 \
        if (world().IsWine()) {                                          \
            GTEST_SKIP() << "Wine 8.0 differs from Windows: " << reason; \
        }                                                                \
    } while (false)

}  // namespace spoolsweep::contract
