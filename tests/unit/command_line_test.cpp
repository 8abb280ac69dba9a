#include "app/command_line_info.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace spoolsweep {
namespace {

using Arguments = std::vector<std::u16string>;

struct Call {
    std::u16string text;
    bool isFlag;
    bool isLast;
    bool operator==(const Call&) const = default;
};

// Records what the framework hands over.
class RecordingInfo : public CCommandLineInfo {
  public:
    void ParseParam(std::u16string_view text, bool isFlag, bool isLast) override {
        calls.push_back({std::u16string(text), isFlag, isLast});
    }
    std::vector<Call> calls;
};

TEST(SplitCommandLine, SplitsAsTheRuntimeDoes) {
    const std::pair<std::u16string_view, Arguments> cases[] = {
        {u"Spoolsweep.exe  -p\t\"A , B\"  x", {u"Spoolsweep.exe", u"-p", u"A , B", u"x"}},
        {u"a b\"c d\"e \"\"", {u"a", u"bc de", u""}},
        {u"a \"open group", {u"a", u"open group"}},
        // 2n backslashes: n of them and the quote groups; 2n+1: n of them and a literal quote.
        {uR"(p a\\"b c" d\"e f\\\"g h\\i)", {u"p", uR"(a\b c)", uR"(d"e)", uR"(f\"g)", uR"(h\\i)"}},
        {uR"(p "C:\Temp\\")", {u"p", uR"(C:\Temp\)"}},
        // A doubled quote inside a group is a literal quote and the group goes on.
        {uR"(p "a""b c" d)", {u"p", uR"(a"b c)", u"d"}},
        {uR"(p a""b)", {u"p", u"ab"}},
        {uR"("C:\Program Files\S\Spoolsweep.exe" -help)",
         {uR"(C:\Program Files\S\Spoolsweep.exe)", u"-help"}},
        // In the program's path a backslash does not escape the quote: the group closes there.
        {uR"(C:\a\\"b c\" d)", {uR"(C:\a\\b c\)", u"d"}},
        {u"", {u""}},
    };
    for (const auto& [commandLine, arguments] : cases) {
        EXPECT_EQ(SplitCommandLine(commandLine), arguments) << commandLine.size();
    }
}

TEST(ParseCommandLine, SkipsProgramPathAndStripsOnePrefix) {
    RecordingInfo info;
    ParseCommandLine(info, uR"(S.exe -getInstalledPrinters /help --x file "-p" "" /)");
    EXPECT_EQ(info.calls, (std::vector<Call>{{u"getInstalledPrinters", true, false},
                                             {u"help", true, false},
                                             {u"-x", true, false},
                                             {u"file", false, false},
                                             {u"p", true, false},
                                             {u"", false, false},
                                             {u"", true, true}}));

    RecordingInfo none;
    ParseCommandLine(none, u"\"C:\\S.exe\"   ");
    EXPECT_TRUE(none.calls.empty()) << "no parameters, no call";
}

}  // namespace
}  // namespace spoolsweep
