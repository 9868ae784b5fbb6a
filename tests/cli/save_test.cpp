// sorimba-clip save: the save command from a shell, without dialogs.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <string>

#include "files/files.h"
#include "support/files.h"

namespace {

using sorimba::testing::slurp;
using sorimba::testing::spit;

class CliSave : public ::testing::Test {
protected:
    void SetUp() override {
        const char* clip = std::getenv("SORIMBA_CLIP");
        ASSERT_TRUE(clip) << "SORIMBA_CLIP is not set";
        program = clip;
        ASSERT_TRUE(tmp.isValid());
    }
    QString path(const QString& name) const { return tmp.path() + "/" + name; }

    // Runs `sorimba-clip save ARGS` with stdin from `input`; returns the exit
    // status and keeps stderr in `errors`.
    int run(const std::string& args, const QByteArray& input) {
        spit(path("in"), input);
        const std::string command = "'" + program + "' save " + args + " < '" +
                                    path("in").toStdString() + "' 2> '" +
                                    path("err").toStdString() + "'";
        const int status = std::system(command.c_str());
        errors = QString::fromUtf8(slurp(path("err")));
        QFile::remove(path("in"));
        QFile::remove(path("err"));
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string arg(const QString& name) const { return "'" + path(name).toStdString() + "'"; }

    std::string program;
    QTemporaryDir tmp;
    QString errors;
};

TEST_F(CliSave, PlainModeAppendsUtf8InputAsCodePage932WithCrLf) {
    spit(path("save.txt"), "1,000\r\n  \"old\"");
    // LF-only line ends become CR LF as in the text area; CR LF stays.
    EXPECT_EQ(run("--save-path " + arg("save.txt"), "\xe2\x97\x8b\xe3\x81\x82\nb\r\nc"), 0);
    EXPECT_EQ(slurp(path("save.txt")), "1,000\r\n  \"old\"\r\n\x81\x9b\x82\xa0\r\nb\r\nc\r\n");
    EXPECT_TRUE(errors.isEmpty()) << errors.toStdString();

    // The input may be given as a file too.
    spit(path("clip.txt"), "d\n");
    const std::string command =
        "'" + program + "' save --save-path " + arg("save.txt") + " " + arg("clip.txt");
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_TRUE(slurp(path("save.txt")).endsWith("c\r\nd\r\n\r\n"));
}

TEST_F(CliSave, PerTitleModeWritesTheTitleFiles) {
    const QByteArray clip =
        "\n\xe2\x97\x8f"
        "A\xe3\x80\x80note\n\nentry\n\n\xe2\x97\x8f"
        "B\n\nsecond\n";
    EXPECT_EQ(run("--with-titles --save-path " + arg("save.txt"), clip), 0);
    EXPECT_EQ(slurp(path("A.txt")), "\r\nentry\r\n\r\n\r\n");
    EXPECT_EQ(slurp(path("B.txt")), "\r\nsecond\r\n");
    EXPECT_FALSE(QFile::exists(path("save.txt")));
}

TEST_F(CliSave, FilesThatCannotBeWrittenAreNamedAndTheStatusIsOne) {
    spit(path("ro.txt"), "keep");
    ASSERT_EQ(::chmod(path("ro.txt").toLocal8Bit().constData(), 0444), 0);
    EXPECT_EQ(run("--save-path " + arg("ro.txt"), "x\n"), 1);
    EXPECT_EQ(slurp(path("ro.txt")), "keep");
    EXPECT_TRUE(errors.contains(path("ro.txt") + ": the file is read-only"))
        << errors.toStdString();

    EXPECT_EQ(run("--save-path " + arg("gone/save.txt"), "x\n"), 1);
    EXPECT_TRUE(errors.contains(path("gone/save.txt"))) << errors.toStdString();
    EXPECT_FALSE(QDir(path("gone")).exists());
}

// Another writer holds the save file's lock (a batch of a mail import): the
// save waits a moment, then writes nothing and says so, with status 1.
TEST_F(CliSave, ABusySaveFileIsSaidAndNothingIsWritten) {
    spit(path("save.txt"), "old\r\n");
    sorimba::files::FolderLock other;
    ASSERT_EQ(other.take(tmp.path(), 0), sorimba::files::FolderLock::State::Held);
    EXPECT_EQ(run("--save-path " + arg("save.txt"), "x\n"), 1);
    EXPECT_TRUE(errors.contains("busy")) << errors.toStdString();
    EXPECT_EQ(slurp(path("save.txt")), "old\r\n");
    other.release();
    EXPECT_EQ(run("--save-path " + arg("save.txt"), "x\n"), 0);
}

TEST_F(CliSave, NothingToSaveIsSaidAndTheStatusIsOne) {
    // Per title, a text without a title line (here imported without titles).
    EXPECT_EQ(run("--with-titles --save-path " + arg("save.txt"),
                  "\xe2\x97\x8b"
                  "entry\n\n\xe2\x97\x8b"
                  "more\n"),
              1);
    EXPECT_TRUE(errors.contains("no \"\xe2\x97\x8f\" title line")) << errors.toStdString();
    EXPECT_EQ(run("--save-path " + arg("save.txt"), ""), 1);  // an empty text
    EXPECT_TRUE(errors.contains("the text is empty")) << errors.toStdString();
    EXPECT_TRUE(QDir(tmp.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(CliSave, BadUseOrBadInputWritesNothing) {
    EXPECT_EQ(run("", "x\n"), 2);                                          // no save path
    EXPECT_EQ(run("--save-path " + arg("s.txt") + " --bogus", "x\n"), 2);  // unknown flag
    EXPECT_EQ(run("--save-path " + arg("s.txt"), "ok\xff\xfe\n"), 2);      // not UTF-8
    EXPECT_EQ(run("--save-path " + arg("s.txt") + " " + arg("missing"), ""), 2);
    // A character cut off at the end of the input is not UTF-8 either.
    EXPECT_EQ(run("--save-path " + arg("s.txt"), "ok\n\xe3\x81"), 2);
    EXPECT_FALSE(QFile::exists(path("s.txt")));

    // A save path whose bytes the locale cannot read (here Latin-1 "é")
    // would be written under another name; it is refused.
    EXPECT_EQ(run("--save-path '" + tmp.path().toStdString() + "/s\xe9.txt'", "x\n"), 2);
    EXPECT_TRUE(QDir(tmp.path()).entryList(QDir::Files).filter("s").isEmpty());
}

}  // namespace
