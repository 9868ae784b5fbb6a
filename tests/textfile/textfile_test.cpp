#include "textfile/textfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "support/files.h"

namespace tf = sorimba::textfile;

namespace {

using sorimba::testing::slurp;
using sorimba::testing::spit;

TEST(LineEnds, LoneLineFeedsBecomeCrLf) {
    EXPECT_EQ(tf::withCrLfLineEnds(u"a\nb\r\nc\rd\n\n"_qs), u"a\r\nb\r\nc\rd\r\n\r\n"_qs);
    EXPECT_EQ(tf::withCrLfLineEnds(u"\n"_qs), u"\r\n"_qs);
    EXPECT_EQ(tf::withCrLfLineEnds(u"\r\r\n\n\r"_qs), u"\r\r\n\r\n\r"_qs);
    EXPECT_EQ(tf::withCrLfLineEnds(QString()), QString());
    // Long texts are counted in blocks; line ends fall on every position of one.
    EXPECT_EQ(tf::withCrLfLineEnds(u"x\n"_qs.repeated(200) + u"y\r\n"_qs.repeated(70)),
              u"x\r\n"_qs.repeated(200) + u"y\r\n"_qs.repeated(70));
    EXPECT_EQ(tf::withCrLfLineEnds(u"\r\nab"_qs.repeated(99) + u"\n"_qs),
              u"\r\nab"_qs.repeated(99) + u"\r\n"_qs);

    // The caller's copy of a shared text is left as it was.
    const QString shared = u"x\ny"_qs;
    QString copy = shared;
    EXPECT_EQ(tf::withCrLfLineEnds(copy), u"x\r\ny"_qs);
    EXPECT_EQ(shared, u"x\ny"_qs);
    EXPECT_EQ(copy, u"x\ny"_qs);
}

}  // namespace

TEST(Cp932, EncodesJapaneseWithMicrosoftsTable) {
    // "■ぴこぴこＺＯＫ" and the characters where Microsoft's table differs
    // from plain Shift_JIS: wave dash and full-width tilde, minus sign.
    EXPECT_EQ(tf::encodeCp932(u"■ぴこ"), "\x81\xa1\x82\xd2\x82\xb1");
    EXPECT_EQ(tf::encodeCp932(u"\u301c"), "\x81\x60");
    EXPECT_EQ(tf::encodeCp932(u"\uff5e"), "\x81\x60");
    EXPECT_EQ(tf::encodeCp932(u"\u2212"), "\x81\x7c");
    EXPECT_EQ(tf::encodeCp932(u"ｱ"), "\xb1");
}

TEST(Cp932, UnencodableCharactersAndLoneSurrogatesBecomeQuestionMarks) {
    EXPECT_EQ(tf::encodeCp932(u"a\U0001F600b"), "a?b");  // emoji: one "?" for the pair
    EXPECT_EQ(tf::encodeCp932(std::u16string(u"a\xD800"
                                             u"b")),
              "a?b");
    EXPECT_EQ(tf::encodeCp932(std::u16string(u"a\xDC00")), "a?");
    EXPECT_EQ(tf::encodeCp932(std::u16string(u"\xD83D")), "?");
    EXPECT_EQ(tf::encodeCp932(std::u16string(u"x\0y", 3)), std::string("x\0y", 3));
}

TEST(Cp932, DecodesAndMarksInvalidBytes) {
    EXPECT_EQ(tf::decodeCp932("\x81\xa1\x82\xd2"), u"■ぴ");
    EXPECT_EQ(tf::decodeCp932("a\x81"), u"a\uFFFD");  // lead byte cut off
    EXPECT_EQ(tf::decodeCp932("\xa0z"), u"\uFFFDz");
    // A UTF-8 file decodes to something, never crashes, keeps its ASCII.
    std::u16string utf8 = tf::decodeCp932("ok \xe3\x81\x82 ok");
    EXPECT_EQ(utf8.substr(0, 3), u"ok ");
    EXPECT_EQ(utf8.substr(utf8.size() - 3), u" ok");
}

TEST(Cp932, RoundTripsEveryEncodableCharacterOfTheBasicPlane) {
    for (char32_t c = 1; c < 0xD800; ++c) {
        std::u16string one(1, static_cast<char16_t>(c));
        std::string bytes = tf::encodeCp932(one);
        if (bytes == "?" && c != u'?') continue;
        std::u16string back = tf::decodeCp932(bytes);
        // Best fits map several characters to one code; they come back as the
        // code's own character, which must encode to the same bytes again.
        ASSERT_EQ(tf::encodeCp932(back), bytes) << std::hex << static_cast<unsigned>(c);
    }
}

TEST(Lines, SplitAtCrLfAndLoneCrOnly) {
    using V = std::vector<std::string_view>;
    EXPECT_EQ(tf::splitLines(""), V{});
    EXPECT_EQ(tf::splitLines("A\r\nB"), (V{"A", "B"}));
    EXPECT_EQ(tf::splitLines("A\r\nB\r\n"), (V{"A", "B"}));
    EXPECT_EQ(tf::splitLines("A\rB\r"), (V{"A", "B"}));
    EXPECT_EQ(tf::splitLines("A\nB\r\n\r\n"), (V{"A\nB", ""}));
    EXPECT_EQ(tf::splitLines("\r\n"), (V{""}));
    EXPECT_TRUE(tf::endsWithLineEnd("a\r"));
    EXPECT_TRUE(tf::endsWithLineEnd("a\r\n"));
    EXPECT_FALSE(tf::endsWithLineEnd("a\n"));
    EXPECT_FALSE(tf::endsWithLineEnd(""));
}

TEST(Lines, CutAtCrLfKeepsTheEmptyLastPiece) {
    using V = std::vector<QString>;
    EXPECT_EQ(tf::cutAtCrLf(""), V{});
    EXPECT_EQ(tf::cutAtCrLf("a\r\nb"), (V{"a", "b"}));
    EXPECT_EQ(tf::cutAtCrLf("a\r\nb\r\n"), (V{"a", "b", ""}));
    EXPECT_EQ(tf::cutAtCrLf("a\rb\nc"), (V{"a\rb\nc"}));
}

TEST(FolderOf, KeepsEverythingUpToTheLastSlash) {
    EXPECT_EQ(tf::folderOf(QStringLiteral("/home/u/notes/a.txt")),
              QStringLiteral("/home/u/notes/"));
    EXPECT_EQ(tf::folderOf(QStringLiteral("/a.txt")), QStringLiteral("/"));
    EXPECT_EQ(tf::folderOf(QStringLiteral("a/")), QStringLiteral("a/"));
    EXPECT_EQ(tf::folderOf(QStringLiteral("a.txt")), QString());
    EXPECT_EQ(tf::folderOf(QString()), QString());
    EXPECT_EQ(tf::folderOf(QByteArray("/x/\xff\xfe/y")), QByteArray("/x/\xff\xfe/"));
}

class Files : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
};

TEST_F(Files, AppendKeepsOldBytesAndEndsTheirLastLine) {
    const QByteArray odd("1,000 \"q\"\r\n  lead\rlone\xff\xfe");
    spit(path("a.txt"), odd);
    ASSERT_TRUE(tf::appendToFile(path("a.txt"), "new\r\n").ok);
    EXPECT_EQ(slurp(path("a.txt")), odd + "\r\nnew\r\n");

    spit(path("b.txt"), "x\r");  // already ends with a line end
    ASSERT_TRUE(tf::appendToFile(path("b.txt"), "y\r\n").ok);
    EXPECT_EQ(slurp(path("b.txt")), "x\ry\r\n");

    ASSERT_TRUE(tf::appendToFile(path("new.txt"), "z\r\n").ok);  // created
    EXPECT_EQ(slurp(path("new.txt")), "z\r\n");
}

TEST_F(Files, AppendsToManyFilesEachOnItsOwn) {
    // One refused file stops no other; a file named twice gets both appends.
    spit(path("a.txt"), "a\r\n");
    spit(path("ro.txt"), "r\r\n");
    ::chmod(path("ro.txt").toLocal8Bit().constData(), 0444);
    const std::vector<tf::Outcome> outcomes = tf::appendToFiles({{path("a.txt"), "1\r\n"},
                                                                 {path("ro.txt"), "2\r\n"},
                                                                 {path("new.txt"), "3\r\n"},
                                                                 {path("a.txt"), "4\r\n"},
                                                                 {path("missing/x.txt"), "5"}});
    ASSERT_EQ(outcomes.size(), 5u);
    EXPECT_TRUE(outcomes[0].ok);
    EXPECT_EQ(outcomes[1].refusal, tf::Refusal::ReadOnly);
    EXPECT_TRUE(outcomes[2].ok);
    EXPECT_TRUE(outcomes[3].ok);
    EXPECT_EQ(outcomes[4].systemError, ENOENT);
    EXPECT_EQ(slurp(path("a.txt")), "a\r\n1\r\n4\r\n");
    EXPECT_EQ(slurp(path("ro.txt")), "r\r\n");
    EXPECT_EQ(slurp(path("new.txt")), "3\r\n");
    EXPECT_TRUE(tf::appendToFiles({}).empty());
}

TEST_F(Files, RefusesWhatIsNotAWritableRegularFile) {
    spit(path("ro.txt"), "old\r\n");
    ::chmod(path("ro.txt").toLocal8Bit().constData(), 0444);
    EXPECT_FALSE(tf::appendToFile(path("ro.txt"), "x").ok);
    EXPECT_FALSE(tf::replaceFile(path("ro.txt"), "x", true).ok);
    EXPECT_EQ(slurp(path("ro.txt")), "old\r\n");

    EXPECT_FALSE(tf::appendToFile(dir.path(), "x").ok);  // a directory
    ASSERT_EQ(::mkfifo(path("fifo").toLocal8Bit().constData(), 0644), 0);
    EXPECT_FALSE(tf::appendToFile(path("fifo"), "x").ok);  // must not hang
    EXPECT_FALSE(tf::replaceFile(path("fifo"), "x", false).ok);
    EXPECT_FALSE(tf::appendToFile(path("missing/x.txt"), "x").ok);
    EXPECT_FALSE(tf::appendToFile(QString(), "x").ok);
    EXPECT_EQ(tf::fileKind(path("fifo")), tf::FileKind::Other);
    EXPECT_EQ(tf::fileKind(path("ro.txt")), tf::FileKind::Regular);
    EXPECT_EQ(tf::fileKind(path("nothing")), tf::FileKind::Missing);
}

TEST_F(Files, ReplaceKeepsPermissionsAndLinks) {
    spit(path("t.txt"), "old");
    ::chmod(path("t.txt").toLocal8Bit().constData(), 0640);
    ASSERT_EQ(::symlink("t.txt", path("link.txt").toLocal8Bit().constData()), 0);
    ASSERT_TRUE(tf::replaceFile(path("link.txt"), "new", true).ok);
    EXPECT_EQ(slurp(path("t.txt")), "new");
    EXPECT_TRUE(QFileInfo(path("link.txt")).isSymLink());
    struct stat st {};
    ::stat(path("t.txt").toLocal8Bit().constData(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    EXPECT_FALSE(tf::replaceFile(path("absent.txt"), "x", true).ok);
    EXPECT_FALSE(QFile::exists(path("absent.txt")));
}

TEST_F(Files, ReadFileStartStopsAtTheLimitAndSaysWhetherThatWasAll) {
    spit(path("r.txt"), "0123456789");
    QByteArray got;
    bool complete = true;
    ASSERT_TRUE(tf::readFileStart(path("r.txt"), 4, &got, &complete).ok);
    EXPECT_EQ(got, "0123");
    EXPECT_FALSE(complete);
    ASSERT_TRUE(tf::readFileStart(path("r.txt"), 10, &got, &complete).ok);  // exactly all
    EXPECT_EQ(got, "0123456789");
    EXPECT_TRUE(complete);
    ASSERT_TRUE(tf::readFileStart(path("r.txt"), -1, &got, &complete).ok);
    EXPECT_EQ(got, "0123456789");
    EXPECT_TRUE(complete);
    EXPECT_FALSE(tf::readFileStart(dir.path(), 4, &got, &complete).ok);
    EXPECT_TRUE(got.isEmpty());
}
