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

TEST(SplitCommandLine, BlanksSeparateAndQuotesGroup) {
    EXPECT_EQ(SplitCommandLine(u"Spoolsweep.exe  -p\t\"A , B\"  x"),
              (Arguments{u"Spoolsweep.exe", u"-p", u"A , B", u"x"}));
    EXPECT_EQ(SplitCommandLine(u"a b\"c d\"e \"\""), (Arguments{u"a", u"bc de", u""}));
    EXPECT_EQ(SplitCommandLine(u"a \"open group"), (Arguments{u"a", u"open group"}));
}

TEST(SplitCommandLine, BackslashesBeforeQuotes) {
    // 2n backslashes: n of them and the quote groups; 2n+1: n of them and a literal quote.
    EXPECT_EQ(SplitCommandLine(uR"(p a\\"b c" d\"e f\\\"g h\\i)"),
              (Arguments{u"p", uR"(a\b c)", uR"(d"e)", uR"(f\"g)", uR"(h\\i)"}));
    EXPECT_EQ(SplitCommandLine(uR"(p "C:\Temp\\")"), (Arguments{u"p", uR"(C:\Temp\)"}));
}

TEST(SplitCommandLine, DoubledQuoteInsideGroupIsLiteralAndKeepsGrouping) {
    EXPECT_EQ(SplitCommandLine(uR"(p "a""b c" d)"), (Arguments{u"p", uR"(a"b c)", u"d"}));
    EXPECT_EQ(SplitCommandLine(uR"(p a""b)"), (Arguments{u"p", u"ab"}));
}

TEST(SplitCommandLine, ProgramPathKeepsBackslashesAndDropsQuotes) {
    EXPECT_EQ(SplitCommandLine(uR"("C:\Program Files\S\Spoolsweep.exe" -help)"),
              (Arguments{uR"(C:\Program Files\S\Spoolsweep.exe)", u"-help"}));
    // In the path a backslash does not escape the quote: the group closes there.
    EXPECT_EQ(SplitCommandLine(uR"(C:\a\\"b c\" d)"), (Arguments{uR"(C:\a\\b c\)", u"d"}));
    EXPECT_EQ(SplitCommandLine(u""), (Arguments{u""}));
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
}

TEST(ParseCommandLine, NoParametersMakesNoCall) {
    RecordingInfo info;
    ParseCommandLine(info, u"\"C:\\S.exe\"   ");
    EXPECT_TRUE(info.calls.empty());
}

TEST(CCommandLineInfo, BaseRecordsWhatItIsGiven) {
    CCommandLineInfo info;
    ParseCommandLine(info, u"S.exe file -foo");
    EXPECT_EQ(info.UnhandledParameters(),
              (std::vector<CCommandLineInfo::Parameter>{{u"file", false}, {u"foo", true}}));
}

}  // namespace
}  // namespace spoolsweep
