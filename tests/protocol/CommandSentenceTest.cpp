#include <gtest/gtest.h>

#include <string>

#include "protocol/CommandSentence.h"

namespace {

std::string Framed(std::u16string_view body) {
    std::string bytes;
    EXPECT_EQ(FrameSentence(body, bytes), SentenceStatus::Ok);
    return bytes;
}

TEST(CommandSentence, WorkedExamples) {
    struct Case {
        const char* legend;
        std::u16string body;
        std::string expected;
    };
    const Case cases[] = {
        {"three letters", u"abc", "abc*60!\r\n"},
        {"one letter", u"A", "A*41!\r\n"},
        {"two equal characters cancel out", u"ZZ", "ZZ*00!\r\n"},
        {"checksum 0x0A keeps its leading zero and is uppercase", u"J@", "J@*0A!\r\n"},
        {"checksum below 0x10", u"12", "12*03!\r\n"},
        {"hex letters are uppercase", u"\u00ff", "\xff*FF!\r\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(Framed(c.body), c.expected) << c.legend;
}

TEST(CommandSentence, TheFourRequests) {
    EXPECT_EQ(Framed(DownloadSentenceBody()), "VXC,VendrimaxQM-518,LB*18!\r\n");
    EXPECT_EQ(Framed(EraseSentenceBody()), "VXC,VendrimaxQM-518,LC*19!\r\n");
    const std::string query = Framed(ConfigQuerySentenceBody());
    EXPECT_EQ(query.substr(0, query.size() - 6), "VXC,VendrimaxQM-518,L1(C0,O2,OH)");
    EXPECT_EQ(ConfigWriteSentenceBody(false, u"5", u"0"),
              u"VXS,VendrimaxQM-518,3,0,C0=0,O2=5,OH=0");
    EXPECT_EQ(ConfigWriteSentenceBody(true, u"5", u"0"), u"VXS,VendrimaxQM-518,3,0,C0=1,O2=5,OH=0");
    // Empty values go out as they are.
    EXPECT_EQ(ConfigWriteSentenceBody(false, u"", u""), u"VXS,VendrimaxQM-518,3,0,C0=0,O2=,OH=");
}

TEST(CommandSentence, ChecksumsOfDownloadAndEraseDifferOnlyByTheirCommand) {
    EXPECT_EQ(SentenceChecksum(DownloadSentenceBody()) ^ SentenceChecksum(EraseSentenceBody()),
              'B' ^ 'C');
}

TEST(CommandSentence, LineEndsInCrLfWithoutTerminator) {
    const std::string bytes = Framed(ConfigWriteSentenceBody(false, u"60", u"100"));
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    EXPECT_EQ(bytes.find('\0'), std::string::npos);
}

TEST(CommandSentence, RefusesWhatCouldStartAnotherCommandOrTravelAsAnotherByte) {
    std::string bytes = "untouched";
    // A line end inside a value would put a whole erase sentence on the line.
    EXPECT_EQ(
        FrameSentence(ConfigWriteSentenceBody(false, u"6", u"0\r\nVXC,VendrimaxQM-518,LC"), bytes),
        SentenceStatus::ControlCharacter);
    EXPECT_EQ(FrameSentence(u"O2=\u007f", bytes), SentenceStatus::ControlCharacter);
    // The euro sign has no byte of its own in Latin-1: it would go out as '?', with a checksum
    // over another byte.
#ifndef _WIN32
    EXPECT_EQ(FrameSentence(u"O2=\u20AC", bytes), SentenceStatus::NotSendable);
#endif
    EXPECT_EQ(FrameSentence(u"O2=\U0001F600", bytes), SentenceStatus::NotSendable);
    EXPECT_EQ(bytes, "untouched");
    const std::string strProblem = SettingsValueProblem(u"0\r\n", "distance");
    EXPECT_NE(strProblem.find("distance"), std::string::npos) << strProblem;
    EXPECT_NE(strProblem.find("U+000D at character 2"), std::string::npos) << strProblem;
    EXPECT_EQ(SettingsValueProblem(u"12\u00e9", "interval"), "");
}

TEST(CommandSentence, LatinOneConversion) {
    EXPECT_EQ(ToAnsi(u"caf\u00e9"), "caf\xe9");
#ifndef _WIN32                                  // Windows substitutes as its code page does
    EXPECT_EQ(ToAnsi(u"a\U0001F600b"), "a?b");  // a surrogate pair is one character
#endif
    EXPECT_EQ(FromAnsi("\xe9\xff"), u"\u00e9\u00ff");
    EXPECT_EQ(Utf8ToUtf16("caf\xc3\xa9"), u"caf\u00e9");
    EXPECT_EQ(Utf8ToUtf16("a\xff"), u"a\ufffd");
    EXPECT_EQ(AnsiToUtf8("\xe9"), "\xc3\xa9");
    EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xf0\x9f\x98\x80");
}

TEST(CommandSentence, SettingsTextsMayTotal213Characters) {
    const std::u16string fixed = ConfigWriteSentenceBody(false, u"", u"");
    ASSERT_EQ(fixed.size(), 36u);
    std::string bytes;
    EXPECT_EQ(FrameSentence(ConfigWriteSentenceBody(false, std::u16string(200, u'1'),
                                                    std::u16string(13, u'2')),
                            bytes),
              SentenceStatus::Ok);
    EXPECT_EQ(bytes.size(), 249u + 6u);
    bytes = "untouched";
    EXPECT_EQ(FrameSentence(ConfigWriteSentenceBody(false, std::u16string(200, u'1'),
                                                    std::u16string(14, u'2')),
                            bytes),
              SentenceStatus::TooLong);
    EXPECT_EQ(bytes, "untouched");
    EXPECT_NE(std::string(SentenceStatusMessage(SentenceStatus::TooLong)), "");
}

TEST(CommandSentence, AppendChecksumRespectsCapacity) {
    char16_t buffer[16] = u"abc";
    EXPECT_EQ(AppendChecksum(buffer, 16), 4u);
    EXPECT_EQ(std::u16string(buffer), u"abc*60!");
    // The tail is granted capacity - length - 1 units: 8 - 3 - 1 = 4, too few for tail and
    // terminator.
    char16_t small[8] = u"abc";
    EXPECT_EQ(AppendChecksum(small, 8), 0u);
    EXPECT_EQ(std::u16string(small), u"abc");
}

}  // namespace
