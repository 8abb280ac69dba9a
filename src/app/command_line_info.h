#pragma once
// The application framework's command-line handling: the run-time library's argument splitting and the
// per-parameter hook that a derived parser overrides.
#include <string>
#include <string_view>
#include <vector>

namespace spoolsweep {

// Splits a command line as the C run-time library builds argv from GetCommandLineW: element 0 is the
// program's own path, the rest are its parameters.
[[nodiscard]] std::vector<std::u16string> SplitCommandLine(std::u16string_view commandLine);

class CCommandLineInfo {
  public:
    // One parameter the derived parser left to the framework.
    struct Parameter {
        std::u16string text;
        bool isFlag = false;
        bool operator==(const Parameter&) const = default;
    };

    CCommandLineInfo() = default;
    CCommandLineInfo(const CCommandLineInfo&) = delete;
    CCommandLineInfo& operator=(const CCommandLineInfo&) = delete;
    virtual ~CCommandLineInfo() = default;

    // text is the parameter without its leading "-" or "/" when isFlag is set; isLast marks the final one.
    virtual void ParseParam(std::u16string_view text, bool isFlag, bool isLast);

    // What reached the framework's own handling: file names and shell switches this program never acts on.
    [[nodiscard]] const std::vector<Parameter>& UnhandledParameters() const { return m_unhandled; }

  private:
    std::vector<Parameter> m_unhandled;
};

// Feeds every parameter after the program's path to info.ParseParam, in order.
void ParseCommandLine(CCommandLineInfo& info, std::u16string_view commandLine);

}  // namespace spoolsweep
