#include "settings/settings.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>
#include <random>

#include "encoding/encoding.h"
#include "settings/dat_format.h"
#include "support/fake_window_settings.h"

using namespace sorimba;
using namespace sorimba::settings;
using sorimba::testing::FakeWindowSettings;

#include "support/files.h"

namespace {

using sorimba::testing::slurp;
using sorimba::testing::spit;

QByteArray cp932(const QString& text) {
    return encoding::toCp932(text);
}

// The fourteen lines of data.dat, joined by CR LF.
QByteArray datLines(const QStringList& lines) {
    return cp932(lines.join("\r\n") + "\r\n");
}

const QStringList kDefaultLines = {" 7185 ", " 6510 ", "ＭＳ ゴシック", " 9 ",   "-2147483640 ",
                                   "False",  "False",  "False",         "False", "False",
                                   "True",   "False",  "False",         "True"};

class Settings : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString datPath() const { return dir.filePath("data.dat"); }
    QString dat2Path() const { return dir.filePath("data2.dat"); }

    // A form started with the given data.dat content.
    void startWith(FakeWindowSettings& form, const QByteArray& dat) {
        spit(datPath(), dat);
        form.savePath = loadSettings(form, form.files = SettingsFiles::in(dir.path())).savePath;
    }
    std::vector<bool> options(const FakeWindowSettings& form) {
        std::vector<bool> out;
        for (int i = 0; i < form.optionCount(); ++i) out.push_back(form.option(i));
        return out;
    }
    const std::vector<bool> kDefaultOptions = {false, false, false, false, false,
                                               true,  false, false, true};
};

}  // namespace

// --- FieldReader and the conversions ------------------------------------------------

TEST(LoSAReader, FieldRules) {
    QByteArray bytes =
        "  \t plain  \t,\"a, \"\"b\" tail dropped,next\r\n"  // blanks, quotes, comma
        "\r\n"                                               // empty line: one empty field
        "in\"ner\"\rlone cr\nlone lf\r\n"
        "\"unclosed, to the end\r\n"
        "last";
    FieldReader losa(bytes, true);
    QString f;
    std::vector<std::pair<int, QString>> got;
    while (losa.next(&f) == FieldReader::Status::Field) got.emplace_back(losa.line(), f);
    std::vector<std::pair<int, QString>> want = {
        {1, "plain"}, {1, "a, "},     {1, "next"},    {2, ""},
        {3, "inner"}, {4, "lone cr"}, {5, "lone lf"}, {6, "unclosed, to the end"},
        {7, "last"}};
    EXPECT_EQ(got, want);
    EXPECT_EQ(losa.next(&f), FieldReader::Status::EndOfFile);

    FieldReader blanksOnly("   ", true);
    EXPECT_EQ(blanksOnly.next(&f), FieldReader::Status::EndOfFile);
}

TEST(LoSAReader, DecodesCodePage932OrUtf8BehindTheMark) {
    QString f;
    FieldReader sjis(cp932("ＭＳ ゴシック\r\n"), true);
    ASSERT_EQ(sjis.next(&f), FieldReader::Status::Field);
    EXPECT_EQ(f, "ＭＳ ゴシック");
    EXPECT_FALSE(sjis.utf8());
    FieldReader utf8(QByteArray(kUtf8Mark) + QString("나눔고딕 😀\r\n").toUtf8(), true);
    ASSERT_EQ(utf8.next(&f), FieldReader::Status::Field);
    EXPECT_EQ(f, "나눔고딕 😀");
    EXPECT_TRUE(utf8.utf8());
}

TEST(LoSAReader, OverlongFieldsAndCutFilesStopTheReading) {
    QString f;
    FieldReader huge(QByteArray(kMaxFieldBytes + 1, 'x'), true);
    EXPECT_EQ(huge.next(&f), FieldReader::Status::TooLong);
    FieldReader blanks(QByteArray(kMaxFieldBytes + 1, ' ') + "1", true);
    EXPECT_EQ(blanks.next(&f), FieldReader::Status::TooLong);
    FieldReader fits(QByteArray(kMaxFieldBytes, 'x') + "\r\n", true);
    EXPECT_EQ(fits.next(&f), FieldReader::Status::Field);
    EXPECT_EQ(f.size(), kMaxFieldBytes);
    FieldReader cut("1\r\n22", false);  // only the start of a longer file
    EXPECT_EQ(cut.next(&f), FieldReader::Status::Field);
    EXPECT_EQ(cut.next(&f), FieldReader::Status::TooLong);
}

TEST(Conversions, Numbers) {
    EXPECT_EQ(toSingle(" 7185 "), 7185.0f);
    EXPECT_EQ(toSingle("\t+12.5"), 12.5f);
    EXPECT_EQ(toSingle("-.5"), -0.5f);
    EXPECT_EQ(toSingle("3."), 3.0f);
    EXPECT_EQ(toSingle("1000000000000000000000000000000"), 1e30f);
    for (const char* bad : {"", " ", ".", "-", "1e30", "1,000", "0x10", "inf", "NaN", "1 2", "- 1",
                            "１２", "1..2", "9999999999999999999999999999999999999999"}) {
        EXPECT_FALSE(toSingle(bad)) << bad;
    }
    EXPECT_EQ(toFixed4(" 10.5 "), 105000);
    EXPECT_EQ(toFixed4("9.12345"), 91234);  // half to even
    EXPECT_EQ(toFixed4("9.12355"), 91236);
    EXPECT_EQ(toFixed4("9.123451"), 91235);
    EXPECT_EQ(toFixed4("-0.00005"), 0);
    EXPECT_EQ(toFixed4("922337203685477.5807"), INT64_MAX);
    EXPECT_FALSE(toFixed4("922337203685477.5808"));
    EXPECT_EQ(toFixed4("-922337203685477.5808"), INT64_MIN);
    EXPECT_EQ(toInt32("-2147483640"), kWindowTextColour);
    EXPECT_EQ(toInt32("-2147483648"), INT32_MIN);
    EXPECT_FALSE(toInt32("2147483648"));
    EXPECT_FALSE(toInt32("4294967295"));
    EXPECT_EQ(toInt32("2.5"), 2);
    EXPECT_EQ(toInt32("3.5"), 4);
    EXPECT_FALSE(toInt32("abc"));
}

TEST(Conversions, YesNo) {
    EXPECT_EQ(toYesNo("True"), true);
    EXPECT_EQ(toYesNo("False"), false);
    EXPECT_EQ(toYesNo("-1"), true);
    EXPECT_EQ(toYesNo(" 0 "), false);
    EXPECT_EQ(toYesNo("0.000"), false);
    EXPECT_EQ(toYesNo("0.5"), true);
    EXPECT_EQ(toYesNo("99999999999999999999999"), true);
    for (const char* bad : {"true", "TRUE", "yes", "", "T", "Truee"})
        EXPECT_FALSE(toYesNo(bad)) << bad;
}

TEST(Conversions, Rendering) {
    EXPECT_EQ(renderSingle(7185), " 7185 ");
    EXPECT_EQ(renderSingle(-15), "-15 ");
    EXPECT_EQ(renderSingle(7185.25f), " 7185.25 ");
    EXPECT_EQ(renderSingle(-0.0f), " 0 ");
    EXPECT_EQ(renderFixed4(105000), " 10.5 ");
    EXPECT_EQ(renderFixed4(90000), " 9 ");
    EXPECT_EQ(renderFixed4(91234), " 9.1234 ");
    EXPECT_EQ(renderFixed4(-5), "-0.0005 ");
    EXPECT_EQ(renderFixed4(INT64_MIN), "-922337203685477.5808 ");
    EXPECT_EQ(renderInt32(kWindowTextColour), "-2147483640 ");
    EXPECT_EQ(renderInt32(INT32_MIN), "-2147483648 ");
    EXPECT_EQ(renderInt32(0x336699), " 3368601 ");
    EXPECT_EQ(fixed4FromPoints(10.5), 105000);
    EXPECT_EQ(fixed4FromPoints(9.12344), 91234);
    EXPECT_EQ(fixed4FromPoints(std::nan("")), 0);
    EXPECT_EQ(fixed4FromPoints(1e300), 0);
}

// --- Start-up and shut-down ----------------------------------------------------

TEST_F(Settings, FirstStartWithoutFilesKeepsTheDesignValues) {
    FakeWindowSettings form;
    form.savePath = loadSettings(form, form.files = SettingsFiles::in(dir.path())).savePath;
    EXPECT_EQ(form.files.data, dir.path() + "/data.dat");
    EXPECT_EQ(form.files.data2, dir.path() + "/data2.dat");
    EXPECT_EQ(form.savePath, "");
    EXPECT_EQ(form.onTopCalls, std::vector<bool>{true});
    EXPECT_EQ(options(form), kDefaultOptions);

    // Closing at once writes the defaults, exactly; no data2.dat without a path.
    storeSettings(form, form.files, form.savePath);
    EXPECT_EQ(slurp(datPath()), datLines(kDefaultLines));
    EXPECT_FALSE(QFile::exists(dat2Path()));
}

TEST_F(Settings, EverySettingComesBackAfterClosingAndStartingAgain) {
    struct Case {
        double width, height;
        QString font;
        double size;
        std::int32_t colour;
        QString savePath;
    };
    const Case cases[] = {
        {8123.25, 4321, "IPAゴシック", 10.5, 0x336699, "/home/u/メモ, 2026/クリップ 帳.txt"},
        {1300, 1455, "Noto Sans Mono CJK JP", 72.1234, kWindowTextColour, "/tmp/a b/c.txt"},
        // Text that code page 932 cannot hold: Hangul face, emoji folder,
        // and a wave dash that code page 932 would turn into a tilde.
        {7185, 6510, "나눔고딕", 9, 0, "/home/u/😀 clips/〜memo〜.txt"},
    };
    for (int k = 0; k < 3; ++k) {
        const Case& c = cases[k];
        FakeWindowSettings before;
        before.savePath =
            loadSettings(before, before.files = SettingsFiles::in(dir.path())).savePath;
        ASSERT_TRUE(before.setOuterWidth(c.width));
        ASSERT_TRUE(before.setOuterHeight(c.height));
        ASSERT_TRUE(before.setFontName(c.font));
        ASSERT_TRUE(before.setFontSize(c.size));
        ASSERT_TRUE(before.setTextColour(c.colour));
        for (int i = 0; i < kOptionCount; ++i) before.setOption(i, (i * 7 + k) % 3 == 0);
        before.savePath = c.savePath;
        storeSettings(before, before.files, before.savePath);

        FakeWindowSettings after;
        after.savePath = loadSettings(after, after.files = SettingsFiles::in(dir.path())).savePath;
        EXPECT_EQ(after.outerWidth(), c.width);
        EXPECT_EQ(after.outerHeight(), c.height);
        EXPECT_EQ(after.fontName(), c.font);
        EXPECT_EQ(after.fontSize(), c.size);
        EXPECT_EQ(after.textColour(), c.colour);
        EXPECT_EQ(options(after), options(before));
        EXPECT_EQ(after.savePath, c.savePath);
        EXPECT_EQ(after.onTopCalls, std::vector<bool>{before.option(AlwaysOnTop)});
    }
    // The last case needed UTF-8; the first was written in code page 932.
    EXPECT_TRUE(slurp(dat2Path()).startsWith(kUtf8Mark));
    EXPECT_TRUE(slurp(datPath()).startsWith(kUtf8Mark));
    EXPECT_EQ(dat2FileBytes("/home/u/メモ, 2026/クリップ 帳.txt"),
              cp932("/home/u/メモ, 2026/クリップ 帳.txt\r\n"));
    EXPECT_FALSE(datFileBytes(FakeWindowSettings()).startsWith(kUtf8Mark));
}

TEST_F(Settings, FractionalSizesAreWrittenWithTheDigitsTheyNeed) {
    FakeWindowSettings form;
    form.setFontSize(10.5);
    form.setOuterWidth(7185.5);
    form.setTextColour(0x0000FF);
    QStringList lines = kDefaultLines;
    lines[0] = " 7185.5 ";
    lines[3] = " 10.5 ";
    lines[4] = " 255 ";
    EXPECT_EQ(datFileBytes(form), datLines(lines));
}

TEST_F(Settings, ReadingStopsAtTheFirstValueThatFailsAndLaterOnesKeepDefaults) {
    {  // four lines only
        FakeWindowSettings form;
        startWith(form, datLines({" 8000 ", " 5000 ", "IPAゴシック", " 12 "}));
        EXPECT_EQ(form.outerWidth(), 8000);
        EXPECT_EQ(form.outerHeight(), 5000);
        EXPECT_EQ(form.fontName(), "IPAゴシック");
        EXPECT_EQ(form.fontSize(), 12);
        EXPECT_EQ(form.textColour(), kWindowTextColour);
        EXPECT_EQ(options(form), kDefaultOptions);
    }
    {  // letters in line 5
        QStringList lines = kDefaultLines;
        lines[0] = " 8000 ";
        lines[3] = " 11 ";
        lines[4] = "abc";
        lines[5] = "True";
        FakeWindowSettings form;
        startWith(form, datLines(lines));
        EXPECT_EQ(form.outerWidth(), 8000);
        EXPECT_EQ(form.fontSize(), 11);
        EXPECT_EQ(form.textColour(), kWindowTextColour);
        EXPECT_EQ(options(form), kDefaultOptions);
    }
    {  // -1 and 0 for the words; more than fourteen lines
        QStringList lines = kDefaultLines.mid(0, 5);
        lines << "-1"
              << "0"
              << "-1"
              << "0"
              << "-1"
              << "0"
              << "-1"
              << "0"
              << "-1"
              << "junk after the options"
              << "-1";
        FakeWindowSettings form;
        startWith(form, datLines(lines));
        EXPECT_EQ(options(form),
                  (std::vector<bool>{true, false, true, false, true, false, true, false, true}));
        EXPECT_EQ(form.onTopCalls, std::vector<bool>{false});
    }
    {  // fails at line 2: AlwaysOnTop keeps its design state, so mode 1
        FakeWindowSettings form;
        startWith(form, datLines({" 8000 ", "tall", "IPAゴシック", " 12 "}));
        EXPECT_EQ(form.outerWidth(), 8000);
        EXPECT_EQ(form.outerHeight(), 6510);
        EXPECT_EQ(form.fontName(), "ＭＳ ゴシック");
        EXPECT_EQ(form.onTopCalls, std::vector<bool>{true});
    }
    {  // an option line that is neither word nor number stops at that item
        QStringList lines = kDefaultLines;
        lines[5] = "True";
        lines[6] = "yes";
        lines[7] = "True";
        FakeWindowSettings form;
        startWith(form, datLines(lines));
        std::vector<bool> want = kDefaultOptions;
        want[0] = true;
        EXPECT_EQ(options(form), want);
    }
}

TEST_F(Settings, ValuesTheWindowCannotTakeStopTheReading) {
    // Each file fails at the named line; everything before it is applied.
    const std::pair<QStringList, int> cases[] = {
        {{" 1000000000000000000000000000000 ", " 5000 "}, 1},  // width 1e30: refused
        {{" 1e30 ", " 5000 "}, 1},                             // not decimal text
        {{" 8000 ", "-5000 ", "IPAゴシック"}, 2},              // negative size
        {{" 8000 ", " 5000 ", "IPAゴシック", " 0 ", " 255 "}, 4},
        {{" 8000 ", " 5000 ", "IPAゴシック", " 10000 ", " 255 "}, 4},
        {{" 8000 ", " 5000 ", "IPAゴシック", " 12 ", " 99999999999 ", "True"}, 5},
    };
    for (const auto& [lines, failing] : cases) {
        FakeWindowSettings form;
        spit(datPath(), datLines(lines));
        form.files.data = datPath();
        DatReport report = applyDataFile(form, form.files.data);
        ASSERT_TRUE(report.opened);
        ASSERT_EQ(static_cast<int>(report.steps.size()), failing) << lines.join('|').toStdString();
        EXPECT_NE(report.steps.back().result, DatStep::Result::Applied);
        EXPECT_EQ(report.steps.back().line, failing);
        EXPECT_EQ(form.outerWidth(), failing > 1 ? 8000 : 7185);
        EXPECT_EQ(form.textColour(), kWindowTextColour);
        EXPECT_EQ(options(form), kDefaultOptions);
    }
}

TEST_F(Settings, JunkBinaryAndHugeFilesNeverBreakStartUp) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 200; ++round) {
        QByteArray junk(static_cast<int>(random() % 400), '\0');
        for (char& c : junk) c = static_cast<char>(random());
        if (round % 3 == 0) junk.prepend(" 8000 \r\n");
        FakeWindowSettings form;
        startWith(form, junk);
        EXPECT_GE(form.outerWidth(), 0);
        EXPECT_LE(form.outerWidth(), FakeWindowSettings::kMaxTwips);
        EXPECT_GT(form.fontSize(), 0);
        EXPECT_EQ(form.onTopCalls.size(), 1u);
    }

    // A 1 GB file of NUL bytes (sparse): the first field is far too long,
    // and only the start of the file is read.
    {
        int fd = ::open(datPath().toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 1LL << 30), 0);
        ::close(fd);
        FakeWindowSettings form;
        form.files.data = datPath();
        DatReport report = applyDataFile(form, form.files.data);
        ASSERT_EQ(report.steps.size(), 1u);
        EXPECT_EQ(report.steps[0].result, DatStep::Result::TooLong);
        EXPECT_EQ(form.outerWidth(), 7185);
    }
    // A long but acceptable font name is taken; a longer one stops there.
    {
        QString name(30000, u'ゴ');
        FakeWindowSettings form;
        startWith(form, datLines({" 8000 ", " 5000 ", name, " 12 "}));
        EXPECT_EQ(form.fontName(), name);
        EXPECT_EQ(form.fontSize(), 12);
        FakeWindowSettings tooLong;
        startWith(tooLong, datLines({" 8000 ", " 5000 ", QString(40000, u'ゴ'), " 12 "}));
        EXPECT_EQ(tooLong.fontName(), "ＭＳ ゴシック");
        EXPECT_EQ(tooLong.fontSize(), 9);
    }
    // data.dat a folder: nothing read, start-up completes.
    {
        QTemporaryDir other;
        ASSERT_TRUE(QDir(other.path()).mkdir("data.dat"));
        FakeWindowSettings form;
        form.savePath = loadSettings(form, form.files = SettingsFiles::in(other.path())).savePath;
        EXPECT_EQ(form.onTopCalls, std::vector<bool>{true});
    }
}

TEST_F(Settings, SavePathFromData2) {
    const std::pair<QByteArray, QString> cases[] = {
        {cp932("C:\\メモ\\clip, 1.txt\r\n2nd line\r\n"), "C:\\メモ\\clip, 1.txt"},  // older layout
        {cp932("/home/u/a b.txt"), "/home/u/a b.txt"},                              // no line end
        {"/x/lone-cr.txt\r/ignored", "/x/lone-cr.txt"},
        {"/x/lone-lf.txt\n/ignored", "/x/lone-lf.txt"},
        {QByteArray(kUtf8Mark) + "/home/u/\xF0\x9F\x98\x80/a.txt\r\n", "/home/u/😀/a.txt"},
        {"", ""},                                    // empty file
        {"\r\n/second/line.txt\r\n", ""},            // empty first line
        {QByteArray("/bad\0path.txt\r\n", 15), ""},  // no path holds a NUL
        {QByteArray(kMaxPathBytes + 10, 'a'), ""},   // junk, not a path
    };
    for (const auto& [bytes, want] : cases) {
        spit(dat2Path(), bytes);
        FakeWindowSettings form;
        form.savePath = loadSettings(form, form.files = SettingsFiles::in(dir.path())).savePath;
        EXPECT_EQ(form.savePath, want) << bytes.left(40).toStdString();
    }
}

TEST_F(Settings, ClosingKeepsAnOlderData2WhenThereIsNoPathToStore) {
    const QByteArray older = cp932("/older/path.txt\r\n");
    for (const QString& path : {QString(), QString("/new\nline.txt")}) {
        spit(dat2Path(), older);
        FakeWindowSettings form;
        form.files.data = datPath();
        form.files.data2 = dat2Path();
        form.savePath = path;
        storeSettings(form, form.files, form.savePath);
        EXPECT_EQ(slurp(dat2Path()), older);
        EXPECT_EQ(slurp(datPath()), datLines(kDefaultLines));
    }
}

TEST_F(Settings, ClosingWhereNothingCanBeWrittenStillCloses) {
    FakeWindowSettings form;
    // A missing settings folder is made at closing; a file in its place is not.
    spit(dir.filePath("not-a-folder"), "x");
    form.files.data = dir.filePath("not-a-folder/data.dat");
    form.files.data2 = dir.filePath("not-a-folder/data2.dat");
    form.savePath = "/a.txt";
    StoreResult result = storeSettings(form, form.files, form.savePath);
    EXPECT_EQ(result.failure, StoreResult::Failure::Folder);
    EXPECT_EQ(result.path, dir.filePath("not-a-folder"));
    EXPECT_FALSE(writeSettings(form, form.files, form.savePath));

    // A read-only data.dat keeps its content, data2.dat is still written.
    spit(datPath(), "old\r\n");
    ::chmod(datPath().toLocal8Bit().constData(), 0444);
    form.files.data = datPath();
    form.files.data2 = dat2Path();
    result = storeSettings(form, form.files, form.savePath);
    EXPECT_EQ(result.failure, StoreResult::Failure::File);
    EXPECT_EQ(result.path, datPath());
    EXPECT_EQ(slurp(datPath()), "old\r\n");
    EXPECT_EQ(slurp(dat2Path()), "/a.txt\r\n");
}

// Runs `work` in a child process as the user nobody when this runs as root,
// so that permissions apply; returns its exit status.
int asNobody(const std::function<int()>& work) {
    if (::geteuid() != 0) return work();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) std::_Exit(100);
        std::_Exit(work());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Settings, AFileThatCannotBeReadIsToldOfAndNeverOverwritten) {
    const QString path = dir.path();
    ::chmod(QFile::encodeName(path).constData(), 0777);
    enum Block { Folder, NoPermission };
    struct Case {
        const char* name;
        bool data;  // data.dat is the one in the way, else data2.dat
        Block block;
    };
    const Case cases[] = {{"data.dat a folder", true, Folder},
                          {"data2.dat a folder", false, Folder},
                          {"data.dat unreadable", true, NoPermission},
                          {"data2.dat unreadable", false, NoPermission}};
    for (const Case& c : cases) {
        QDir(path).removeRecursively();
        QDir().mkpath(path);
        const QString blocked = c.data ? datPath() : dat2Path();
        const QString other = c.data ? dat2Path() : datPath();
        const QByteArray blockedBytes = c.data ? datLines(kDefaultLines) : "/kept.txt\r\n";
        if (c.block == Folder) {
            ASSERT_TRUE(QDir().mkpath(blocked + "/inside"));
        } else {
            spit(blocked, blockedBytes);
            ::chmod(QFile::encodeName(blocked).constData(), 0);
        }
        if (::geteuid() == 0) {
            for (const QString& p : {path, blocked})
                ASSERT_EQ(::chown(QFile::encodeName(p).constData(), 65534, 65534), 0);
        }

        // The child tells what start-up found and whether closing stored
        // the rest.
        const int status = asNobody([&] {
            FakeWindowSettings form;
            const Loaded loaded = loadSettings(form, SettingsFiles::in(path));
            form.setOuterWidth(9000);
            const StoreResult stored =
                storeSettings(form, SettingsFiles::in(path), "/new.txt", loaded.unreadable);
            return (loaded.unreadable.data ? 1 : 0) | (loaded.unreadable.data2 ? 2 : 0) |
                   (stored.ok() ? 0 : 4);
        });
        EXPECT_EQ(status, c.data ? 1 : 2) << c.name;
        if (c.block == Folder) {
            EXPECT_TRUE(QFileInfo::exists(blocked + "/inside")) << c.name;
        } else {
            ::chmod(QFile::encodeName(blocked).constData(), 0600);
            EXPECT_EQ(slurp(blocked), blockedBytes) << c.name;
        }
        EXPECT_EQ(slurp(other).startsWith(c.data ? "/new.txt" : " 9000 "), true) << c.name;
    }
}
