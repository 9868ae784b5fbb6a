#include "convert/convert.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>

#include "support/fake_prompts.h"
#include "support/files.h"
#include "window/convert_command.h"

namespace cv = sorimba::convert;
using sorimba::Answer;
using sorimba::Buttons;
using sorimba::FileChoice;
using sorimba::testing::FakePrompts;

namespace {

using sorimba::testing::slurp;
using sorimba::testing::spit;

ino_t inode(const QString& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.toLocal8Bit().constData(), &st), 0);
    return st.st_ino;
}

QByteArray join(const QByteArray& in) {
    return cv::joinParagraphs(std::string_view(in.constData(), in.size()));
}

// Eight lines A, B, "", C, D, "", E, "" and what they become.
const QByteArray kExample("A\r\nB\r\n\r\nC\r\nD\r\n\r\nE\r\n\r\n");
const QByteArray kExampleDone("AB\r\n\r\nCD\r\n\r\nE\r\n\r\n");

struct Case {
    const char* what;
    QByteArray in;
    QByteArray out;
};

const std::vector<Case>& cases() {
    static const std::vector<Case> all = {
        {"eight lines", kExample, kExampleDone},
        {"without the last empty line", "A\r\nB\r\n\r\nC\r\nD\r\n\r\nE\r\n", kExampleDone},
        {"last line without a line end", "A\r\nB\r\n\r\nC\r\nD\r\n\r\nE", kExampleDone},
        {"no empty line at all", "A\r\nB", "AB\r\n\r\n"},
        {"empty file", "", "\r\n"},
        {"only empty lines", "\r\n\r\n\r\n", "\r\n"},
        {"nothing inserted", "abc\r\ndef\r\n", "abcdef\r\n\r\n"},
        {"full-width spaces at the start",
         "\x81\x40\x81\x40"
         "A\r\nB\r\n",
         "\x81\x40\x81\x40"
         "AB\r\n\r\n"},
        {"a line of two spaces is not empty", "A\r\n  \r\nB\r\n", "A  B\r\n\r\n"},
        {"a tab line is not empty", "A\r\n\t\r\nB", "A\tB\r\n\r\n"},
        {"already converted", kExampleDone, kExampleDone},
        {"empty lines in a row", "A\r\n\r\n\r\n\r\nB\r\nC\r\n", "A\r\n\r\nBC\r\n\r\n"},
        {"starts with an empty line", "\r\nA\r\nB\r\n", "\r\nAB\r\n\r\n"},
        {"starts with empty lines", "\r\n\r\n\r\nA\r\n", "\r\nA\r\n\r\n"},
        {"lone CR ends a line", "A\rB\r\rC", "AB\r\n\r\nC\r\n\r\n"},
        {"lone LF is a character", "A\nB\r\n\nC\r\n", "A\nB\nC\r\n\r\n"},
        {"one CR anywhere: LF is a character", "A\nB\n\nC\r", "A\nB\n\nC\r\n\r\n"},
        // A file without CR and with LF (Linux): LF ends its lines, and
        // the lines written end with LF as well.
        {"LF lines", "A\nB\n\nC\nD\n\nE\n\n", "AB\n\nCD\n\nE\n\n"},
        {"LF lines, last without a line end", "A\nB\n\n\n\nC", "AB\n\nC\n\n"},
        {"LF lines starting empty", "\n\nA\nB", "\nAB\n\n"},
        {"one LF", "\n", "\n"},
        {"no line end at all", "AB", "AB\r\n\r\n"},
        {"NUL and invalid bytes kept", QByteArray("\0\xff\r\n\x82\r\n\r\n", 8),
         QByteArray("\0\xff\x82\r\n\r\n", 7)},
    };
    return all;
}

}  // namespace

TEST(JoinParagraphs, FollowsTheParagraphRules) {
    for (const Case& c : cases()) {
        EXPECT_EQ(join(c.in), c.out) << c.what;
    }
}

TEST(JoinParagraphs, AConvertedFileComesOutUnchanged) {
    for (const Case& c : cases()) {
        EXPECT_EQ(join(c.out), c.out) << c.what;
    }
}

// A file is read in pieces that may end anywhere, even between CR and LF.
TEST(JoinParagraphs, PiecesMayEndAnywhere) {
    for (const Case& c : cases()) {
        for (size_t size = 1; size <= 5; ++size) {
            QByteArray out;
            cv::ParagraphJoiner joiner([&out](std::string_view piece) {
                out.append(piece.data(), static_cast<qsizetype>(piece.size()));
            });
            const std::string_view in(c.in.constData(), static_cast<size_t>(c.in.size()));
            for (size_t at = 0; at < in.size(); at += size) joiner.feed(in.substr(at, size));
            joiner.finish();
            EXPECT_EQ(out, c.out) << c.what << ", pieces of " << size;
            EXPECT_EQ(joiner.unchanged(), c.in == c.out) << c.what << ", pieces of " << size;
        }
    }
}

class Convert : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
};

TEST_F(Convert, RewritesTheFileInPlace) {
    spit(path("a.txt"), kExample);
    ASSERT_FALSE(cv::convertFile(path("a.txt")));
    EXPECT_EQ(slurp(path("a.txt")), kExampleDone);

    spit(path("empty.txt"), "");
    ASSERT_FALSE(cv::convertFile(path("empty.txt")));
    EXPECT_EQ(slurp(path("empty.txt")), "\r\n");

    // A Linux text file keeps its LF line ends.
    spit(path("linux.txt"), "A\nB\n\nC\n");
    ASSERT_FALSE(cv::convertFile(path("linux.txt")));
    EXPECT_EQ(slurp(path("linux.txt")), "AB\n\nC\n\n");
}

TEST_F(Convert, Utf8FileIsJoinedWithoutAChangedByte) {
    const QByteArray text =
        QStringLiteral("日本語の文章、\r\n続きです〜\r\n\r\n次の段落 ①\r\n").toUtf8();
    spit(path("u.txt"), text);
    ASSERT_FALSE(cv::convertFile(path("u.txt")));
    EXPECT_EQ(slurp(path("u.txt")),
              QStringLiteral("日本語の文章、続きです〜\r\n\r\n次の段落 ①\r\n\r\n").toUtf8());
}

TEST_F(Convert, AlreadyConvertedFileIsNotRewritten) {
    spit(path("done.txt"), kExampleDone);
    const ino_t before = inode(path("done.txt"));
    ASSERT_FALSE(cv::convertFile(path("done.txt")));
    EXPECT_EQ(slurp(path("done.txt")), kExampleDone);
    EXPECT_EQ(inode(path("done.txt")), before);
}

TEST_F(Convert, LeavesAloneWhatItMustNotWrite) {
    // Read-only: no write bit for anybody, even though the tests run as root.
    spit(path("ro.txt"), kExample);
    ASSERT_EQ(::chmod(path("ro.txt").toLocal8Bit().constData(), 0444), 0);
    EXPECT_TRUE(cv::convertFile(path("ro.txt")));
    EXPECT_EQ(slurp(path("ro.txt")), kExample);
    EXPECT_EQ(cv::convertFile(path("ro.txt"))->kind, sorimba::Failure::Kind::ReadOnly);

    // A typed name of a file that does not exist creates nothing.
    EXPECT_TRUE(cv::convertFile(path("missing.txt")));
    EXPECT_FALSE(QFileInfo::exists(path("missing.txt")));
    EXPECT_TRUE(cv::convertFile(path("nofolder/x.txt")));
    EXPECT_TRUE(cv::convertFile(QString()));

    // Neither a folder nor a FIFO is opened for writing (a FIFO would hang).
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("d.txt")));
    EXPECT_TRUE(cv::convertFile(path("d.txt")));
    ASSERT_EQ(::mkfifo(path("fifo.txt").toLocal8Bit().constData(), 0644), 0);
    EXPECT_TRUE(cv::convertFile(path("fifo.txt")));
    EXPECT_EQ(QDir(dir.path())
                  .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
              (QStringList{"d.txt", "fifo.txt", "ro.txt"}));
}

TEST_F(Convert, SymbolicLinkStaysALinkAndItsTargetIsConverted) {
    spit(path("target.dat"), kExample);
    ASSERT_EQ(::chmod(path("target.dat").toLocal8Bit().constData(), 0640), 0);
    ASSERT_EQ(::symlink("target.dat", path("link.txt").toLocal8Bit().constData()), 0);
    ASSERT_FALSE(cv::convertFile(path("link.txt")));
    EXPECT_TRUE(QFileInfo(path("link.txt")).isSymLink());
    EXPECT_EQ(slurp(path("target.dat")), kExampleDone);
    struct stat st {};
    ASSERT_EQ(::stat(path("target.dat").toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// A folder of every kind of neighbour a .txt file can have.
class Folder : public Convert {
protected:
    void SetUp() override {
        for (const char* name :
             {"a.txt", "B.TXT", "c.Txt", "d.csv", "e.txt.bak", "f.md", ".hidden.txt", "g.txt"}) {
            spit(path(name), kExample);
        }
        ASSERT_EQ(::chmod(path("g.txt").toLocal8Bit().constData(), 0444), 0);
        // A folder whose name looks like a .txt file, and a real subfolder.
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("dir.txt")));
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("sub")));
        spit(path("sub/h.txt"), kExample);
    }
    void expectConvertedOnly(const QStringList& converted) {
        for (const char* name : {"a.txt", "B.TXT", "c.Txt", "d.csv", "e.txt.bak", "f.md",
                                 ".hidden.txt", "g.txt", "sub/h.txt"}) {
            const bool done = converted.contains(QString::fromUtf8(name));
            EXPECT_EQ(slurp(path(name)), done ? kExampleDone : kExample) << name;
        }
    }
};

TEST_F(Folder, ListsTheTxtFilesInAnyCaseOnly) {
    cv::FileList list = cv::listTextFiles(dir.path() + QLatin1Char('/'));
    ASSERT_FALSE(list.failure);
    EXPECT_EQ(list.paths,
              (std::vector<QString>{path("B.TXT"), path("a.txt"), path("c.Txt"), path("g.txt")}));

    // Without the trailing slash, the paths come out the same.
    EXPECT_EQ(cv::listTextFiles(dir.path()).paths, list.paths);

    cv::FileList gone = cv::listTextFiles(path("nowhere/"));
    ASSERT_TRUE(gone.failure);
    EXPECT_EQ(gone.failure->systemError, ENOENT);
}

TEST_F(Folder, AReadOnlyFileIsKeptWhileTheOthersAreConverted) {
    cv::FolderOutcome done = cv::convertFolder(dir.path() + QLatin1Char('/'));
    ASSERT_FALSE(done.listing);
    EXPECT_EQ(done.converted, 3);
    ASSERT_EQ(done.failures.size(), 1u);
    EXPECT_EQ(done.failures[0].path, path("g.txt"));
    expectConvertedOnly({"a.txt", "B.TXT", "c.Txt"});
}

TEST_F(Folder, NameNotValidInTheLocaleIsReportedAndSkipped) {
    const QByteArray bad = dir.path().toLocal8Bit() + "/bad\xff.txt";
    FILE* f = std::fopen(bad.constData(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(kExample.constData(), 1, static_cast<size_t>(kExample.size()), f);
    std::fclose(f);

    cv::FolderOutcome done = cv::convertFolder(dir.path());
    EXPECT_EQ(done.converted, 3);
    EXPECT_EQ(done.failures.size(), 2u);  // g.txt and the odd name
    f = std::fopen(bad.constData(), "rb");
    ASSERT_NE(f, nullptr);
    char buffer[64] = {};
    const size_t got = std::fread(buffer, 1, sizeof buffer, f);
    std::fclose(f);
    EXPECT_EQ(QByteArray(buffer, static_cast<qsizetype>(got)), kExample);
    ::unlink(bad.constData());  // QTemporaryDir cannot name it
}

// --- The menu command, driven through the window's interface ---------------

TEST_F(Folder, CancelsConvertNothing) {
    FakePrompts prompts;  // shows nothing unexpected: an unscripted dialog throws
    prompts.fileChoices.push_back(std::nullopt);  // the file chooser cancelled
    cv::convertCommand(prompts);
    EXPECT_EQ(prompts.fileChooserShown, std::vector<FileChoice>{FileChoice::FileToConvert});
    EXPECT_TRUE(prompts.messages.empty());

    prompts.fileChoices.push_back(path("a.txt"));
    prompts.answers.push_back(Answer::Cancel);
    cv::convertCommand(prompts);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].buttons, Buttons::YesNoCancel);
    EXPECT_EQ(prompts.messages[0].text, QStringLiteral("まとめて変換しますか？\r\n"
                                                       "「はい」\u3000\u3000フォルダ内全部変換\r\n"
                                                       "「いいえ」\u3000指定したファイルのみ変換"));
    expectConvertedOnly({});
}

TEST_F(Folder, NoConvertsTheChosenFileWhateverItsExtension) {
    FakePrompts prompts;
    prompts.fileChoices.push_back(path("f.md"));
    prompts.answers.push_back(Answer::No);
    cv::convertCommand(prompts);
    expectConvertedOnly({"f.md"});
    EXPECT_EQ(prompts.messages.size(), 1u);  // the question; success is silent
}

TEST_F(Folder, YesConvertsTheTxtFilesOfTheChosenFilesFolderAndNamesTheFailures) {
    FakePrompts prompts;
    prompts.fileChoices.push_back(path("d.csv"));  // itself not a .txt file
    prompts.answers.push_back(Answer::Yes);
    cv::convertCommand(prompts);
    expectConvertedOnly({"a.txt", "B.TXT", "c.Txt"});
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[1].buttons, Buttons::Ok);
    EXPECT_EQ(prompts.messages[1].text,
              "次のファイルを変換できませんでした：\r\n" + path("g.txt") +
                  "（読み取り専用です）\r\nほかのファイルは変換しました。");
}

TEST_F(Convert, EachFailureIsNamedWithItsReason) {
    struct Case {
        const char* what;
        QString chosen;
        Answer answer;
        QString said;
    };
    spit(path("locked.txt"), kExample);
    ASSERT_EQ(::chmod(path("locked.txt").toLocal8Bit().constData(), 0444), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.txt")));
    const QString head = QStringLiteral("次のファイルを変換できませんでした：\r\n");
    const Case cases[] = {
        {"vanished", path("gone.txt"), Answer::No, head + path("gone.txt") + "（見つかりません）"},
        {"read-only", path("locked.txt"), Answer::No,
         head + path("locked.txt") + "（読み取り専用です）"},
        {"a folder", path("folder.txt"), Answer::No,
         head + path("folder.txt") + "（通常のファイルではありません）"},
        {"a folder that is gone", path("gone/a.txt"), Answer::Yes,
         "次のフォルダを変換できませんでした：\r\n" + path("gone/") + "（見つかりません）"},
    };
    for (const Case& c : cases) {
        FakePrompts prompts;
        prompts.fileChoices.push_back(c.chosen);
        prompts.answers.push_back(c.answer);
        cv::convertCommand(prompts);
        ASSERT_EQ(prompts.messages.size(), 2u) << c.what;
        EXPECT_EQ(prompts.messages[1].text.toStdString(), c.said.toStdString()) << c.what;
        EXPECT_EQ(prompts.messages[1].buttons, Buttons::Ok) << c.what;
    }
    EXPECT_FALSE(QFile::exists(path("gone.txt")));  // nothing created
    EXPECT_EQ(slurp(path("locked.txt")), kExample);
}

TEST_F(Convert, ALongFailureListIsCut) {
    for (int i = 0; i < 25; ++i) {
        const QString name = path("f%1.txt").arg(i, 2, 10, QLatin1Char('0'));
        spit(name, kExample);
        ASSERT_EQ(::chmod(name.toLocal8Bit().constData(), 0444), 0);
    }
    FakePrompts prompts;
    prompts.fileChoices.push_back(path("f00.txt"));
    prompts.answers.push_back(Answer::Yes);
    cv::convertCommand(prompts);
    ASSERT_EQ(prompts.messages.size(), 2u);
    const QString& said = prompts.messages[1].text;
    EXPECT_TRUE(said.contains(path("f19.txt")));
    EXPECT_FALSE(said.contains(path("f20.txt")));
    EXPECT_TRUE(said.endsWith(QStringLiteral("\r\nほか 5 件"))) << said.toStdString();
}
