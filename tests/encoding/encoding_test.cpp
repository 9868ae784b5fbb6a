// Code page 932 and lines: encoding, decoding, line splitting and line ends.

#include "encoding/encoding.h"

#include <gtest/gtest.h>

#include <QString>
#include <string>
#include <vector>

namespace enc = sorimba::encoding;

TEST(LineEnds, LoneLineFeedsBecomeCrLf) {
    EXPECT_EQ(enc::withCrLfLineEnds(u"a\nb\r\nc\rd\n\n"_qs), u"a\r\nb\r\nc\rd\r\n\r\n"_qs);
    EXPECT_EQ(enc::withCrLfLineEnds(u"\n"_qs), u"\r\n"_qs);
    EXPECT_EQ(enc::withCrLfLineEnds(u"\r\r\n\n\r"_qs), u"\r\r\n\r\n\r"_qs);
    EXPECT_EQ(enc::withCrLfLineEnds(QString()), QString());
    // Long texts are counted in blocks; line ends fall on every position of one.
    EXPECT_EQ(enc::withCrLfLineEnds(u"x\n"_qs.repeated(200) + u"y\r\n"_qs.repeated(70)),
              u"x\r\n"_qs.repeated(200) + u"y\r\n"_qs.repeated(70));
    EXPECT_EQ(enc::withCrLfLineEnds(u"\r\nab"_qs.repeated(99) + u"\n"_qs),
              u"\r\nab"_qs.repeated(99) + u"\r\n"_qs);

    // The caller's copy of a shared text is left as it was.
    const QString shared = u"x\ny"_qs;
    QString copy = shared;
    EXPECT_EQ(enc::withCrLfLineEnds(copy), u"x\r\ny"_qs);
    EXPECT_EQ(shared, u"x\ny"_qs);
    EXPECT_EQ(copy, u"x\ny"_qs);
}

TEST(Cp932, EncodesJapaneseWithMicrosoftsTable) {
    // "■ぴこぴこＺＯＫ" and the characters where Microsoft's table differs
    // from plain Shift_JIS: wave dash and full-width tilde, minus sign.
    EXPECT_EQ(enc::encodeCp932(u"■ぴこ"), "\x81\xa1\x82\xd2\x82\xb1");
    EXPECT_EQ(enc::encodeCp932(u"\u301c"), "\x81\x60");
    EXPECT_EQ(enc::encodeCp932(u"\uff5e"), "\x81\x60");
    EXPECT_EQ(enc::encodeCp932(u"\u2212"), "\x81\x7c");
    EXPECT_EQ(enc::encodeCp932(u"ｱ"), "\xb1");
}

TEST(Cp932, UnencodableCharactersAndLoneSurrogatesBecomeQuestionMarks) {
    EXPECT_EQ(enc::encodeCp932(u"a\U0001F600b"), "a?b");  // emoji: one "?" for the pair
    EXPECT_EQ(enc::encodeCp932(std::u16string(u"a\xD800"
                                              u"b")),
              "a?b");
    EXPECT_EQ(enc::encodeCp932(std::u16string(u"a\xDC00")), "a?");
    EXPECT_EQ(enc::encodeCp932(std::u16string(u"\xD83D")), "?");
    EXPECT_EQ(enc::encodeCp932(std::u16string(u"x\0y", 3)), std::string("x\0y", 3));
}

TEST(Cp932, DecodesAndMarksInvalidBytes) {
    EXPECT_EQ(enc::decodeCp932("\x81\xa1\x82\xd2"), u"■ぴ");
    EXPECT_EQ(enc::decodeCp932("a\x81"), u"a\uFFFD");  // lead byte cut off
    EXPECT_EQ(enc::decodeCp932("\xa0z"), u"\uFFFDz");
    // A UTF-8 file decodes to something, never crashes, keeps its ASCII.
    std::u16string utf8 = enc::decodeCp932("ok \xe3\x81\x82 ok");
    EXPECT_EQ(utf8.substr(0, 3), u"ok ");
    EXPECT_EQ(utf8.substr(utf8.size() - 3), u" ok");
}

TEST(Cp932, RoundTripsEveryEncodableCharacterOfTheBasicPlane) {
    for (char32_t c = 1; c < 0xD800; ++c) {
        std::u16string one(1, static_cast<char16_t>(c));
        std::string bytes = enc::encodeCp932(one);
        if (bytes == "?" && c != u'?') continue;
        std::u16string back = enc::decodeCp932(bytes);
        // Best fits map several characters to one code; they come back as the
        // code's own character, which must encode to the same bytes again.
        ASSERT_EQ(enc::encodeCp932(back), bytes) << std::hex << static_cast<unsigned>(c);
    }
}

TEST(Lines, SplitAtCrLfAndLoneCrOnly) {
    using V = std::vector<std::string_view>;
    const auto lines = [](std::string_view bytes) {
        V all;
        enc::forEachLine(bytes,
                         [&all](std::string_view line, std::string_view) { all.push_back(line); });
        return all;
    };
    EXPECT_EQ(lines(""), V{});
    EXPECT_EQ(lines("A\r\nB"), (V{"A", "B"}));
    EXPECT_EQ(lines("A\r\nB\r\n"), (V{"A", "B"}));
    EXPECT_EQ(lines("A\rB\r"), (V{"A", "B"}));
    EXPECT_EQ(lines("A\nB\r\n\r\n"), (V{"A\nB", ""}));
    EXPECT_EQ(lines("\r\n"), (V{""}));
    EXPECT_TRUE(enc::endsWithLineEnd("a\r"));
    EXPECT_TRUE(enc::endsWithLineEnd("a\r\n"));
    EXPECT_FALSE(enc::endsWithLineEnd("a\n"));
    EXPECT_FALSE(enc::endsWithLineEnd(""));
}

TEST(Lines, CutAtCrLfKeepsTheEmptyLastPiece) {
    using V = std::vector<QString>;
    EXPECT_EQ(enc::cutAtCrLf(""), V{});
    EXPECT_EQ(enc::cutAtCrLf("a\r\nb"), (V{"a", "b"}));
    EXPECT_EQ(enc::cutAtCrLf("a\r\nb\r\n"), (V{"a", "b", ""}));
    EXPECT_EQ(enc::cutAtCrLf("a\rb\nc"), (V{"a\rb\nc"}));
}

TEST(ForEachLine, GivesEachLineWithTheEndThatClosesIt) {
    std::vector<std::string> seen;
    enc::forEachLine("A\r\nB\rC\nD\r\n\r\nE", [&seen](std::string_view line, std::string_view end) {
        seen.push_back(std::string(line) + "|" + std::string(end));
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"A|\r\n", "B|\r", "C\nD|\r\n", "|\r\n", "E|"}));
    seen.clear();
    enc::forEachLine("", [&seen](std::string_view, std::string_view) { seen.push_back("x"); });
    EXPECT_TRUE(seen.empty());
}
