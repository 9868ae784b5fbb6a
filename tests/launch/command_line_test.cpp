#include "launch/command_line.h"

#include <gtest/gtest.h>

namespace sorimba::launch {
namespace {

using Action = CommandLine::Action;

CommandLine parse(const QStringList& arguments) {
    return parseCommandLine(QStringList{QStringLiteral("sorimba")} + arguments,
                            QStringLiteral("/home/reader/issues"));
}

TEST(CommandLine, FilesBecomeAbsolutePathsInTheOrderGiven) {
    const CommandLine line = parse({QStringLiteral("b.txt"), QStringLiteral("/tmp/a.eml"),
                                    QStringLiteral("../old/./c.txt"), QStringLiteral("--"),
                                    QStringLiteral("-dash.txt")});
    EXPECT_EQ(line.action, Action::OpenWindow);
    EXPECT_EQ(line.files,
              QStringList({QStringLiteral("/home/reader/issues/b.txt"),
                           QStringLiteral("/tmp/a.eml"), QStringLiteral("/home/reader/old/c.txt"),
                           QStringLiteral("/home/reader/issues/-dash.txt")}));

    EXPECT_EQ(parse({}).action, Action::OpenWindow);
    EXPECT_TRUE(parse({}).files.isEmpty());
}

TEST(CommandLine, HelpAndVersionNeedNoWindow) {
    for (const QString& flag : {QStringLiteral("--help"), QStringLiteral("-h")}) {
        const CommandLine line = parse({QStringLiteral("a.txt"), flag});
        EXPECT_EQ(line.action, Action::PrintHelp);
        EXPECT_TRUE(line.output.startsWith(QStringLiteral("Usage: sorimba [options] [FILE...]")))
            << line.output.toStdString();
        // The help says where the settings live.
        EXPECT_TRUE(line.output.contains(QStringLiteral("~/.config/sorimba")));
        EXPECT_TRUE(line.output.contains(QStringLiteral("sorimba-portable")));
    }
    for (const QString& flag : {QStringLiteral("--version"), QStringLiteral("-v")}) {
        const CommandLine line = parse({flag});
        EXPECT_EQ(line.action, Action::PrintVersion);
        EXPECT_EQ(line.output, QStringLiteral("sorimba " SORIMBA_VERSION "\n"));
    }
}

TEST(CommandLine, UsageErrorsSayWhatIsWrongAndImportNothing) {
    const CommandLine unknown = parse({QStringLiteral("a.txt"), QStringLiteral("--bogus")});
    EXPECT_EQ(unknown.action, Action::UsageError);
    EXPECT_TRUE(unknown.output.contains(QStringLiteral("bogus"))) << unknown.output.toStdString();
    EXPECT_TRUE(unknown.files.isEmpty());

    const CommandLine empty = parse({QStringLiteral("a.txt"), QString()});
    EXPECT_EQ(empty.action, Action::UsageError);
    EXPECT_TRUE(empty.files.isEmpty());
}

}  // namespace
}  // namespace sorimba::launch
