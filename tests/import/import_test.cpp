// The import paths: decoding by byte order mark, UTF-8 or code page 932,
// line-end bridging, files, standard input and drops.

#include "import/import.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QMimeData>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QUrl>

#include "encoding/encoding.h"
#include "support/files.h"

namespace {

namespace im = sorimba::import;
using sorimba::testing::spit;

QByteArray encoded(QStringConverter::Encoding encoding, const QString& text, bool withMark) {
    QStringEncoder encoder(
        encoding, withMark ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
    return encoder(text);
}

// Japanese, an NEC special character, a character outside the BMP.
const QString kText = QStringLiteral("■ぴこぴこＺＯＫ\r\n○①㈱ 𠮷\r\n");

TEST(Decoding, ByteOrderMarksDecideAndAreNotPartOfTheText) {
    using E = QStringConverter;
    for (E::Encoding encoding : {E::Utf8, E::Utf16LE, E::Utf16BE, E::Utf32LE, E::Utf32BE}) {
        EXPECT_EQ(im::decodeIssue(encoded(encoding, kText, true)), kText) << int(encoding);
    }
    EXPECT_EQ(im::decodeIssue(kText.toUtf8()), kText);  // valid UTF-8 needs no mark
    // A U+FEFF after the mark is a character of the text.
    EXPECT_EQ(im::decodeIssue(encoded(E::Utf16LE, u"\uFEFFa"_qs, true)), u"\uFEFFa"_qs);
    EXPECT_EQ(im::decodeIssue("\xEF\xBB\xBF\xEF\xBB\xBF"
                              "a"),
              u"\uFEFFa"_qs);
    // An odd byte at the end of UTF-16 is replaced, not dropped.
    EXPECT_EQ(im::decodeIssue(QByteArray("\xFF\xFE"
                                         "a\0b",
                                         5)),
              u"a\uFFFD"_qs);
    // UTF-32 values that are no character, and a cut-off last unit.
    EXPECT_EQ(im::decodeIssue(QByteArray("\xFF\xFE\0\0"
                                         "\0\0\x11\0"
                                         "a\0\0\0"
                                         "\0\xD8\0\0"
                                         "b",
                                         17)),
              u"\uFFFDa\uFFFD\uFFFD"_qs);
    EXPECT_EQ(im::decodeIssue(""), u""_qs);
    EXPECT_EQ(im::decodeIssue("\xEF\xBB\xBF"), u""_qs);
}

TEST(Decoding, AnythingNotValidUtf8IsCodePage932) {
    const QString cp932Text = QStringLiteral("■ぴこぴこＺＯＫ\r\n○①㈱～－\r\n");
    const QByteArray cp932 = sorimba::encoding::toCp932(cp932Text);
    EXPECT_EQ(im::decodeIssue(cp932), cp932Text);
    // Forced, each way: no guessing.
    EXPECT_EQ(im::decodeIssue(cp932, im::Encoding::Cp932), cp932Text);
    EXPECT_TRUE(im::decodeIssue(cp932, im::Encoding::Utf8).contains(QChar(0xFFFD)));
    EXPECT_NE(im::decodeIssue(kText.toUtf8(), im::Encoding::Cp932), kText);
    // A lead byte cut off at the end, and bytes no character starts with.
    EXPECT_EQ(im::decodeIssue("a\x82", im::Encoding::Cp932), u"a\uFFFD"_qs);
    EXPECT_EQ(im::decodeIssue("\x82\xA0\xFF", im::Encoding::Cp932), u"あ\uFFFD"_qs);

    // UTF-8 is decoded piece by piece: a fault far into a large file still
    // makes the whole file code page 932, and characters that straddle a
    // piece's end survive when the file is valid.
    QByteArray large(3 << 20, 'a');
    for (qsizetype at = (1 << 20) - 2; at < large.size() - 4; at += (1 << 20) - 1)
        large.replace(at, 3, "\xE3\x81\x82");  // あ across each boundary
    const QString utf8 = im::decodeIssue(large);
    EXPECT_EQ(utf8, QString::fromUtf8(large));
    EXPECT_FALSE(utf8.contains(QChar(0xFFFD)));
    large[large.size() - 1] = '\x82';
    EXPECT_EQ(im::decodeIssue(large), sorimba::encoding::fromCp932(large));
}

// Files are read and decoded in pieces: characters cut at every position
// of a piece's end come out whole, from a file and from memory alike.
TEST(Decoding, CharactersCutBetweenPiecesSurvive) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("issue.txt"));
    const auto repeated = [](const QString& pattern) {
        QString text;
        while (text.size() < 1'600'000) text += pattern;
        return text;
    };
    struct Case {
        QString text;
        QByteArray bytes;
    };
    // Each pattern's length in bytes shares no factor with the piece size,
    // so the pieces' ends fall at every position within it.
    const QString utf8 = repeated(u"あ𠮷ab"_qs);
    const QString cp932 = repeated(u"あｱ"_qs);
    const QString utf16 = repeated(u"あ𠮷ab"_qs);
    for (const Case& c : {Case{utf8, utf8.toUtf8()}, Case{cp932, sorimba::encoding::toCp932(cp932)},
                          Case{utf16, encoded(QStringConverter::Utf16LE, utf16, true)}}) {
        EXPECT_EQ(im::decodeIssue(c.bytes), c.text);
        spit(path, c.bytes);
        const im::FileImport file = im::importFile(path);
        ASSERT_TRUE(file.ok());
        EXPECT_EQ(file.text, c.text);
    }
}

class ImportFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

TEST_F(ImportFile, DecodesAndBridgesLineEnds) {
    spit(path("issue.txt"), sorimba::encoding::toCp932(u"■ぴこぴこＺＯＫ\n○あ\r\n"_qs));
    const im::FileImport file = im::importFile(path("issue.txt"));
    ASSERT_TRUE(file.ok());
    EXPECT_EQ(file.text, u"■ぴこぴこＺＯＫ\r\n○あ\r\n"_qs);

    const im::FileImport raw = im::importFile(
        path("issue.txt"), {.encoding = im::Encoding::Cp932, .bridgeLineEnds = false});
    ASSERT_TRUE(raw.ok());
    EXPECT_EQ(raw.text, u"■ぴこぴこＺＯＫ\n○あ\r\n"_qs);
}

TEST_F(ImportFile, RefusesWhatIsNotAReadableRegularFileOfFittingSize) {
    const im::FileImport missing = im::importFile(path("missing.txt"));
    EXPECT_FALSE(missing.ok());
    EXPECT_FALSE(!missing.failure.has_value());
    EXPECT_FALSE(im::importFile(QString()).ok());
    EXPECT_FALSE(im::importFile(dir.path()).ok());

    // A FIFO is refused at once; opening it for reading would wait forever.
    ASSERT_EQ(::mkfifo(path("fifo.txt").toLocal8Bit().constData(), 0600), 0);
    EXPECT_FALSE(im::importFile(path("fifo.txt")).ok());

    // One byte over the limit, as a sparse file: refused without reading.
    spit(path("huge.txt"), "");
    ASSERT_EQ(::truncate(path("huge.txt").toLocal8Bit().constData(), im::kMaxFileBytes + 1), 0);
    const im::FileImport huge = im::importFile(path("huge.txt"));
    EXPECT_FALSE(huge.ok());
    ASSERT_TRUE(huge.failure);
    EXPECT_EQ(huge.failure->kind, sorimba::Failure::Kind::TooLarge);
    EXPECT_EQ(huge.failure->limit, qint64{128} << 20);

    spit(path("small.txt"), "12345");
    EXPECT_TRUE(im::importFile(path("small.txt"), {.maxBytes = 5}).ok());
    EXPECT_FALSE(im::importFile(path("small.txt"), {.maxBytes = 4}).ok());
}

TEST_F(ImportFile, StreamsAreReadToTheirEnd) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const QByteArray bytes = encoded(QStringConverter::Utf16LE, u"■\nx"_qs, true);
    ASSERT_EQ(::write(ends[1], bytes.constData(), size_t(bytes.size())), bytes.size());
    ::close(ends[1]);
    const im::FileImport piped = im::importStream(ends[0]);
    ::close(ends[0]);
    ASSERT_TRUE(piped.ok());
    EXPECT_EQ(piped.text, u"■\r\nx"_qs);

    ASSERT_EQ(::pipe(ends), 0);
    ASSERT_EQ(::write(ends[1], "abcdef", 6), 6);
    ::close(ends[1]);
    EXPECT_FALSE(im::importStream(ends[0], {.maxBytes = 5}).ok());
    ::close(ends[0]);
}

// The text of a drop; nothing when it holds none.
std::optional<QString> textOfDrop(const QMimeData& data) {
    const im::Drop drop = im::readDrop(data);
    if (drop.kind == im::Drop::Kind::Nothing) return std::nullopt;
    return drop.text;
}

TEST_F(ImportFile, DropsCarryTextOrTheFirstTextFile) {
    QMimeData text;
    text.setText(u"a\nb"_qs);
    EXPECT_EQ(textOfDrop(text), u"a\r\nb"_qs);

    spit(path("issue.TXT"),
         "\xEF\xBB\xBF"
         "c\nd");
    spit(path("notes.md"), "e");
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.txt")));
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(path("notes.md")), QUrl::fromLocalFile(path("issue.TXT"))});
    files.setText(path("notes.md"));  // file managers offer the paths as text too
    EXPECT_EQ(textOfDrop(files), u"c\r\nd"_qs);

    QMimeData folder;  // a .txt that cannot be read: an empty issue
    folder.setUrls({QUrl::fromLocalFile(path("folder.txt"))});
    EXPECT_EQ(textOfDrop(folder), QString());

    QMimeData other;  // files, none of them .txt: nothing
    other.setUrls({QUrl::fromLocalFile(path("notes.md"))});
    other.setText(path("notes.md"));
    EXPECT_EQ(textOfDrop(other), std::nullopt);

    QMimeData picture;
    picture.setData(QStringLiteral("image/png"), QByteArray("\x89PNG", 4));
    EXPECT_EQ(textOfDrop(picture), std::nullopt);
}

}  // namespace
