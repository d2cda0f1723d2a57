// Zero bytes in the text the logger sends (binary left over from a cancelled download, or line
// noise) make their line binary, which is counted rather than listed, but never hide the lines,
// the settings reply, the count line or the start marker that follow them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../protocol/EngineTestSupport.h"

namespace {

using namespace std::string_literals;

struct Case {
    const char* legend;
    bool bDownload;
    std::string strRead;
    std::vector<std::string> expected;
};

TEST(StrayZero, TextBehindAZeroByteIsStillSeen) {
    const Case cases[] = {
        {"line mode: the settings reply behind a zero",
         false,
         "\x01\x00\x14#\r\nVXs,C0=0,O2=0005,OH=10*3A!\r\n"s,
         {"interval:0005", "distance:10", "enable", "line:[6 binary bytes skipped]",
          "line:VXs,C0=0,O2=0005,OH=10*3A!\r\n"}},
        {"line mode: a zero inside a value ends the value, and the line is binary",
         false,
         "VXs,O2=12\x00"
         "3,OH=4*00!\r\n"s,
         {}},
        {"download: the count line behind a zero",
         true,
         "\x00\x00\r\n$OK,LB\r\ndataCount=2\r\n"s,
         {"line:[4 binary bytes skipped]", "line:$OK,LB\r\n", "line:dataCount=2\r\n", "create",
          "progress:0/2"}},
        {"download: the start marker behind a zero",
         true,
         "dataCount=1\r\n\x00\x00===\r\n"s + MakeBlock(0x0101, 1),
         {"line:dataCount=1\r\n", "create", "progress:0/1", "append:20", "close", "done:0"}},
    };
    for (const Case& c : cases) {
        EngineRig rig(c.bDownload);
        rig.engine.Feed(c.strRead);
        EXPECT_EQ(rig.effects.effects, c.expected) << c.legend;
    }
}

}  // namespace
