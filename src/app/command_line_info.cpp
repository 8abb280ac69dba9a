#include "app/command_line_info.h"

#include <cstddef>

namespace spoolsweep {
namespace {

[[nodiscard]] bool IsBlank(char16_t unit) {
    return unit == u' ' || unit == u'\t';
}

// The program's path: quotes toggle grouping and are dropped, backslashes are taken as they stand (a path
// never escapes a quote), and an unquoted blank ends it. Returns where the parameters begin.
std::size_t ReadProgramPath(std::u16string_view line, std::u16string& path) {
    std::size_t at = 0;
    bool inQuotes = false;
    while (at < line.size()) {
        char16_t unit = line[at];
        if (unit == u'"') {
            inQuotes = !inQuotes;
        } else if (!inQuotes && IsBlank(unit)) {
            break;
        } else {
            path.push_back(unit);
        }
        ++at;
    }
    return at;
}

// One parameter by the run-time library's rules: 2n backslashes before a quote give n backslashes and the
// quote toggles grouping; 2n+1 give n backslashes and a literal quote; inside a group, "" gives a literal
// quote and the group goes on (the rule of the current Microsoft run-time library). Backslashes not
// followed by a quote are literal.
std::size_t ReadParameter(std::u16string_view line, std::size_t at, std::u16string& parameter) {
    bool inQuotes = false;
    while (true) {
        std::size_t backslashes = 0;
        while (at < line.size() && line[at] == u'\\') {
            ++backslashes;
            ++at;
        }
        bool copyUnit = true;
        if (at < line.size() && line[at] == u'"') {
            if (backslashes % 2 == 0) {
                if (inQuotes && at + 1 < line.size() && line[at + 1] == u'"') {
                    ++at;  // "" inside a group: the second quote is kept
                } else {
                    copyUnit = false;
                    inQuotes = !inQuotes;
                }
            }
            backslashes /= 2;
        }
        parameter.append(backslashes, u'\\');
        if (at >= line.size() || (!inQuotes && IsBlank(line[at]))) {
            return at;
        }
        if (copyUnit) {
            parameter.push_back(line[at]);
        }
        ++at;
    }
}

}  // namespace

std::vector<std::u16string> SplitCommandLine(std::u16string_view commandLine) {
    std::vector<std::u16string> arguments(1);
    std::size_t at = ReadProgramPath(commandLine, arguments.front());
    while (true) {
        while (at < commandLine.size() && IsBlank(commandLine[at])) {
            ++at;
        }
        if (at >= commandLine.size()) {
            return arguments;
        }
        at = ReadParameter(commandLine, at, arguments.emplace_back());
    }
}

void CCommandLineInfo::ParseParam(std::u16string_view text, bool isFlag, bool /*isLast*/) {
    m_unhandled.push_back({std::u16string(text), isFlag});
}

void ParseCommandLine(CCommandLineInfo& info, std::u16string_view commandLine) {
    std::vector<std::u16string> arguments = SplitCommandLine(commandLine);
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        std::u16string_view text = arguments[i];
        bool isFlag = !text.empty() && (text.front() == u'-' || text.front() == u'/');
        if (isFlag) {
            text.remove_prefix(1);
        }
        info.ParseParam(text, isFlag, i + 1 == arguments.size());
    }
}

}  // namespace spoolsweep
