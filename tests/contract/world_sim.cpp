// The contract world on the simulated machine.
#include "platform/sim/sim_machine.h"
#include "world.h"

namespace spoolsweep::contract {
namespace {

class SimWorld final : public World {
  public:
    Machine& machine() override { return sim_.machine(); }
    bool IsWine() const override { return false; }

    void AddDriver(std::u16string_view environment, std::u16string_view name,
                   std::u16string_view dataFile) override {
        // Its driver and configuration files named as the Win32 world names them.
        sim_.AddDriver({std::u16string(environment),
                        std::u16string(name),
                        std::u16string(dataFile),
                        {},
                        {3, u"spswdrv.dll", u"spswui.dll"}});
    }
    void AddPrinter(std::u16string_view name, std::u16string_view driver,
                    std::u16string_view share) override {
        sim::SimPrinter printer{
            std::u16string(name), std::u16string(driver), std::u16string(share), u"", {}, {}};
        printer.settings.port = u"FILE:";  // as the Win32 world installs its printers
        sim_.AddPrinter(printer);
    }
    void AddPrinterForm(std::u16string_view name) override {
        sim_.AddForm({std::u16string(name), kFormUser});
    }
    void SetDefaultPrinter(std::u16string_view name) override { sim_.SetDefaultPrinter(name); }

    std::u16string OwnKey() override { return u"Software\\SpoolsweepContract\\Test"; }
    void CreateKey(Handle root, std::u16string_view path) override { sim_.CreateKey(root, path); }
    void SetValue(Handle root, std::u16string_view path, std::u16string_view name, std::uint32_t type,
                  const std::vector<std::uint8_t>& data) override {
        sim_.SetValue(root, path, name, type, data);
    }
    bool KeyExists(Handle root, std::u16string_view path) override { return sim_.KeyExists(root, path); }
    bool ValueExists(Handle root, std::u16string_view path, std::u16string_view name) override {
        return sim_.ValueExists(root, path, name);
    }
    void AddKeyLink(std::u16string_view path, std::u16string_view target) override {
        sim_.AddKeyLink(kHkeyCurrentUser, path, kHkeyCurrentUser, target);
    }
    void SetEnvironmentVariable(std::u16string_view name, std::u16string_view value) override {
        sim_.SetEnvironmentVariable(name, value);
    }

    std::u16string OwnFolder() override {
        std::u16string folder = u"C:\\Users\\admin\\AppData\\Local\\Temp\\spsw_contract";
        if (!sim_.FolderExists(folder)) {
            sim_.CreateFolder(folder);
        }
        return folder;
    }
    void CreateFolder(std::u16string_view path) override { sim_.CreateFolder(path); }
    void WriteFile(std::u16string_view path, std::string_view contents, std::uint32_t attributes) override {
        sim_.WriteFile(path, contents, attributes);
    }
    std::optional<std::string> ReadFile(std::u16string_view path) override { return sim_.ReadFile(path); }
    bool FileExists(std::u16string_view path) override { return sim_.FileExists(path); }
    bool FolderExists(std::u16string_view path) override { return sim_.FolderExists(path); }
    bool AddLink(std::u16string_view path, std::u16string_view target, LinkKind kind) override {
        constexpr sim::LinkKind kKinds[] = {sim::LinkKind::SymbolicLink, sim::LinkKind::Junction,
                                            sim::LinkKind::HardLink};
        sim_.AddLink(path, target, kKinds[static_cast<int>(kind)]);
        return true;
    }

    void HoldServiceDatabaseLock() override { sim_.SetDatabaseLockHeldElsewhere(true); }

    StartedProcess StartProcess() override {
        std::u16string name = u"contract_child.exe";
        return {name, sim_.AddProcess(name)};
    }
    void AwaitExit(std::uint32_t) override {}

  private:
    sim::SimMachine sim_;
};

}  // namespace

std::unique_ptr<World> MakeWorld() {
    return std::make_unique<SimWorld>();
}

}  // namespace spoolsweep::contract
