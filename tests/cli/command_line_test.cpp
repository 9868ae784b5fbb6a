// The rules every sorimba-clip command shares: help, version, usage errors.

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include "support/files.h"

namespace {

struct ClipResult {
    int status = -1;
    QString out;
    QString err;
};

ClipResult clip(const QStringList& args) {
    QProcess p;
    p.start(qEnvironmentVariable("SORIMBA_CLIP"), args);
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(30000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

const QStringList kCommands{"extract", "save", "settings", "convert"};

TEST(CommandLine, EveryCommandHasHelpWithItsExitStatus) {
    const ClipResult program = clip({"--help"});
    EXPECT_EQ(program.status, 0);
    for (const QString& command : kCommands) {
        EXPECT_TRUE(program.out.contains("\n  " + command + " ")) << program.out.toStdString();
        for (const QString& flag : {QStringLiteral("--help"), QStringLiteral("-h")}) {
            const ClipResult help = clip({command, flag});
            EXPECT_EQ(help.status, 0) << command.toStdString();
            EXPECT_TRUE(help.out.startsWith("usage: sorimba-clip " + command + " "))
                << help.out.toStdString();
            EXPECT_TRUE(help.out.contains("Exit status:\n  0  ")) << help.out.toStdString();
            EXPECT_TRUE(help.err.isEmpty());
        }
    }
    EXPECT_TRUE(program.out.contains("Exit status:\n  0  "));
    EXPECT_TRUE(clip({"extract", "--help"}).out.contains("--with-staff-word"));

    const ClipResult version = clip({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.startsWith("sorimba-clip ")) << version.out.toStdString();
}

// A usage error is one line on standard error and exit status 2.
TEST(CommandLine, UsageErrorsAreOneLineAndStatusTwo) {
    for (const QStringList& args :
         {QStringList{}, QStringList{"bogus"}, QStringList{"--bogus"},
          QStringList{"extract", "--bogus"}, QStringList{"extract", "--with-titles=yes"},
          QStringList{"extract", "--encoding"}, QStringList{"save", "--save-path"},
          QStringList{"settings"}, QStringList{"convert", "a", "b"}}) {
        const ClipResult run = clip(args);
        EXPECT_EQ(run.status, 2) << args.join(' ').toStdString();
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains("usage: sorimba-clip")) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
}

TEST(CommandLine, ValuesAfterEqualsAndNamesAfterDoubleDash) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString dash = dir.filePath("-issue.txt");
    sorimba::testing::spit(dash, "■ぴこぴこＺＯＫ\n●T\n\n○a\n");
    const QString save = dir.filePath("save.txt");

    // A file whose name starts with "-", after "--"; the value of a flag
    // after "=".
    ClipResult run = clip({"extract", "--with-titles", "--encoding=utf-8", "--", dash});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "\r\n●T\r\n\r\n○a\r\n");
    run = clip({"save", "--save-path=" + save, "--", dash});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(
        sorimba::testing::slurp(save).endsWith("\x81\x9b"
                                               "a\r\n\r\n"));
}

}  // namespace
