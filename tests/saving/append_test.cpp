// What a save does to a file that is already there: old bytes are kept, a
// failed or interrupted save leaves them whole.

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <random>
#include <thread>

#include "saving/saving.h"
#include "saving/saving_test_util.h"

namespace sorimba::saving::test {
namespace {

class Append : public SavingTest {};

// Old content as years of saves and hand edits leave it: commas, quotes,
// leading spaces, empty lines, bytes that are not code page 932, a UTF-8
// line, a lone CR, a NUL, and no line end after the last line.
const QByteArray kOddOld =
    QByteArray(
        "1,000\r\n\"quoted\", \"x\"\r\n   staff line\r\n\r\n\x81\r\n\xff\xfe\x80\r\n"
        "\xe3\x81\x82 utf-8\r\nlone\rcr\r\nnul") +
    QByteArray(1, '\0') + QByteArray("byte\r\nlast without end");

TEST_F(Append, OldContentSurvivesEveryByte) {
    ASSERT_EQ(kOddOld.right(16), "last without end");
    for (bool withTitles : {false, true}) {
        SCOPED_TRACE(withTitles);
        spit(path("save.txt"), kOddOld);
        spit(path("A.txt"), kOddOld);
        const SaveResult result = saveLines({"", "●A", "new", ""}, withTitles, path("save.txt"));
        EXPECT_TRUE(result.failures.empty());
        const QString changed = withTitles ? "A.txt" : "save.txt";
        const QByteArray added = withTitles ? "new\r\n"
                                            : "\r\n\x81\x9c"
                                              "A\r\nnew\r\n\r\n";
        EXPECT_EQ(slurp(path(changed)), kOddOld + "\r\n" + added);
        EXPECT_EQ(slurp(path(withTitles ? "save.txt" : "A.txt")), kOddOld);
    }
}

TEST_F(Append, OldContentEndingInALineEndGetsNoExtraOne) {
    for (const QByteArray& old : {QByteArray("a\r\n"), QByteArray("a\r"), QByteArray()}) {
        spit(path("save.txt"), old);
        ASSERT_FALSE(appendToSaveFile(path("save.txt"), "b\r\n"));
        EXPECT_EQ(slurp(path("save.txt")), old + "b\r\n");
    }
}

TEST_F(Append, MoreThan32767OldLinesAreKept) {
    QByteArray old;
    for (int i = 0; i < 40000; ++i) old += QByteArray::number(i) + ",\"x\"\r\n";
    spit(path("save.txt"), old);
    prepare("save.txt", "new\r\n");
    runSave();
    EXPECT_EQ(slurp(path("save.txt")), old + "new\r\n\r\n");
}

// A child process that runs the save and reports through its exit status.
template <typename Body>
int inChild(Body body) {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST_F(Append, WriteFailingHalfWayTakesBackWhatWasAdded) {
    // A file size limit makes the write stop part-way, as a full disk does.
    spit(path("save.txt"), kOddOld);
    std::vector<QString> lines(1000, QString(200, QChar(0x3042)));
    const int status = inChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {
            static_cast<rlim_t>(kOddOld.size() + 4096), RLIM_INFINITY
        };
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 2;
        const SaveResult result = saveLines(lines, false, path("save.txt"));
        if (result.failures.size() != 1 || result.filesWritten != 0) return 3;
        return result.failures[0].systemError == EFBIG ? 0 : 4;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(slurp(path("save.txt")), kOddOld);
}

TEST_F(Append, KilledAtRandomMomentsTheOldContentStaysWhole) {
    // A clip text of about 4 MB on disk, appended again and again by a child
    // that is killed at a random moment.
    std::vector<QString> lines;
    for (int i = 0; i < 8000; ++i)
        lines.push_back(QStringLiteral("○投稿 %1 ～ 1,000円 \"引用\" ").arg(i).repeated(12));
    const QByteArray block = plainBlocks(lines, "x")[0].bytes;
    const QString file = path("save.txt");

    // How long one append takes here, to spread the kills over a few.
    spit(file, kOddOld);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_FALSE(appendToSaveFile(file, block));
    const auto once = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::steady_clock::now() - started)
                          .count();
    std::mt19937 random(12345);
    std::uniform_int_distribution<long> delay(0, std::clamp<long>(3 * once, 2000, 60000));

    int partial = 0;
    for (int round = 0; round < 50; ++round) {
        spit(file, kOddOld);
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (;;) appendToSaveFile(file, block);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);

        const QByteArray after = slurp(file);
        ASSERT_TRUE(after.startsWith(kOddOld)) << "round " << round;
        QByteArray rest = after.mid(kOddOld.size());
        if (rest.isEmpty()) continue;
        ASSERT_TRUE(rest.startsWith("\r\n")) << "round " << round;
        rest.remove(0, 2);
        // The rest is whole blocks followed by the start of one more.
        qsizetype at = 0;
        while (rest.size() - at >= block.size()) {
            ASSERT_EQ(rest.mid(at, block.size()), block) << "round " << round;
            at += block.size();
        }
        ASSERT_TRUE(block.startsWith(rest.mid(at))) << "round " << round;
        if (at != rest.size()) ++partial;
    }
    // Some kills should land inside a write, or the test proves little.
    RecordProperty("killed_inside_a_write", partial);
}

}  // namespace
}  // namespace sorimba::saving::test
