// Crash injection: each write path runs in a child process that is killed
// with SIGKILL after a random delay, spread so that the kills land before,
// during and after the writes. Afterwards every file must hold what a crash
// may leave: for an append, the old content whole, perhaps followed by a
// prefix of the new bytes; for a replacement, the old content or the new
// content, whole.
//
// A campaign proves something only when some kills landed inside the write:
// when none did, it tries again with every kill aimed at the moment the
// files change, and fails when a few such rounds did not land either.
//
// SORIMBA_CRASH_KILLS sets the number of kills over all paths (default 300).

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <random>

#include "convert/convert.h"
#include "encoding/encoding.h"
#include "saving/saving.h"
#include "settings/dat_format.h"
#include "settings/settings.h"
#include "support/fake_window_settings.h"
#include "support/files.h"

namespace sorimba::reliability {
namespace {

using testing::slurp;
using testing::spit;

using Clock = std::chrono::steady_clock;

constexpr int kDefaultKills = 300;
constexpr int kPaths = 5;
// Rounds of kills a campaign tries before it gives up finding the moment of
// the write.
constexpr int kRounds = 6;

int killsPerPath() {
    const char* env = std::getenv("SORIMBA_CRASH_KILLS");
    const int total = env ? std::atoi(env) : kDefaultKills;
    return std::max(1, total / kPaths);
}

bool exists(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// Lines of clip text, some Japanese, numbered so no two are alike.
QString clipLines(int count, const QString& tag) {
    QString text;
    for (int i = 0; i < count; ++i)
        text += QStringLiteral("%1 行 %2：今週のぴこぴこ、投稿ありがとう。abcdefghij\r\n")
                    .arg(tag)
                    .arg(i);
    return text;
}

// Entries of a folder that are not among the expected files: temporary
// files a killed writer left behind. They are counted and removed.
int removeStrays(const QString& folder, const QSet<QString>& expected) {
    int strays = 0;
    QDir dir(folder);
    for (const QString& name :
         dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (expected.contains(name)) continue;
        ++strays;
        QFile::remove(dir.filePath(name));
    }
    return strays;
}

struct Tally {
    int tried = 0;
    int before = 0;  // nothing written yet
    int mid = 0;     // killed while writing
    int after = 0;   // everything written
    int strays = 0;  // temporary files left behind
    int strayKills = 0;
};

std::map<std::string, Tally>& tallies() {
    static std::map<std::string, Tally> all;
    return all;
}

// Runs `write` in a child process, which tells through a pipe when it
// starts writing. With kill set, the child is killed at once (before it
// writes anything) when delayMicros is negative, else that many
// microseconds after it started writing. Returns the time from the start of
// the write until the child ended, and whether it exited on its own with
// status 0.
struct Run {
    double micros = 0;
    bool finished = false;
};

Run runChild(const std::function<bool()>& write, bool kill, long delayMicros) {
    int ready[2];
    if (::pipe(ready) != 0) return {};
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) return {};
    if (pid == 0) {
        ::close(ready[0]);
        const char go = 'g';
        if (::write(ready[1], &go, 1) != 1) ::_exit(4);
        const bool ok = write();
        ::_exit(ok ? 0 : 3);
    }
    ::close(ready[1]);
    auto start = Clock::now();
    if (kill && delayMicros < 0) {
        ::kill(pid, SIGKILL);
    } else {
        char go = 0;
        while (::read(ready[0], &go, 1) < 0 && errno == EINTR) {
        }
        start = Clock::now();
        if (kill) {
            ::usleep(static_cast<useconds_t>(delayMicros));
            ::kill(pid, SIGKILL);
        }
    }
    ::close(ready[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    Run run;
    run.micros = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    run.finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// The kills for one write path: `prepare` lays out the old files, `write`
// is the child's work, `check` looks at what is left and says how far the
// write got (-1 before, 0 during, 1 after); it fails the test for any file
// a crash may not leave.
class Campaign {
public:
    Campaign(std::string name, std::function<void()> prepare, std::function<bool()> write,
             std::function<int()> check)
        : name_(std::move(name)),
          prepare_(std::move(prepare)),
          write_(std::move(write)),
          check_(std::move(check)) {}

    void run(const QString& folder, const QSet<QString>& expected) {
        std::mt19937 rng(std::random_device{}());
        // How long a whole write takes, without a kill.
        double full = 0;
        for (int i = 0; i < 3; ++i) {
            prepare_();
            const Run run = runChild(write_, false, 0);
            ASSERT_TRUE(run.finished) << name_ << ": the write fails without a kill";
            ASSERT_EQ(check_(), 1) << name_ << ": a finished write left the files unfinished";
            ASSERT_EQ(removeStrays(folder, expected), 0)
                << name_ << ": a finished write left files";
            full = std::max(full, run.micros);
        }
        // One kill in ten before the write starts; half of the others
        // anywhere up to a fifth beyond the time of a whole write, the rest
        // where the files change: between the latest kill that still found
        // the old files and the earliest that found the new ones.
        const long whole = static_cast<long>(full * 1.2) + 1;
        long lastOld = 0, firstNew = whole;
        Tally& tally = tallies()[name_];
        // A campaign in which no kill landed inside the write has shown
        // nothing: it tries again with every kill aimed at the moments the
        // files change, and fails when even that does not land.
        for (int round = 0; round < kRounds && (round == 0 || tally.mid == 0); ++round) {
            const bool aimed = round > 0;
            if (aimed)
                std::printf(
                    "[ crash    ] %-16s no kill landed inside the write; round %d aims "
                    "every kill between %ld and %ld us\n",
                    name_.c_str(), round + 1, lastOld, firstNew);
            for (int i = 0; i < killsPerPath(); ++i) {
                long wait = std::uniform_int_distribution<long>(0, whole)(rng);
                const int pick = std::uniform_int_distribution<int>(0, 9)(rng);
                if (pick == 0 && !aimed) {
                    wait = -1;
                } else if (aimed || (pick > 5 && firstNew > lastOld)) {
                    const long low = std::min(lastOld, firstNew);
                    const long high = std::max(lastOld, firstNew);
                    const long margin = (high - low) / 4 + 20;
                    wait = std::uniform_int_distribution<long>(std::max(0L, low - margin),
                                                               high + margin)(rng);
                }
                prepare_();
                runChild(write_, true, wait);
                ++tally.tried;
                const int strays = removeStrays(folder, expected);
                tally.strays += strays;
                if (strays > 0) ++tally.strayKills;
                const int state = check_();
                if (::testing::Test::HasFailure()) {
                    ADD_FAILURE() << name_ << ": after kill " << tally.tried;
                    return;
                }
                if (strays > 0 && state != 1) {
                    ++tally.mid;  // a temporary file: the kill came while writing it
                } else if (state < 0) {
                    ++tally.before;
                    if (wait >= 0) lastOld = std::max(lastOld, wait);
                } else if (state == 0) {
                    ++tally.mid;
                } else {
                    ++tally.after;
                    if (wait >= 0) firstNew = std::min(firstNew, wait);
                }
            }
        }
        std::printf(
            "[ crash    ] %-16s %d kills: %d before, %d during, %d after the write; "
            "%d temporary files left by %d kills (whole write %.0f us)\n",
            name_.c_str(), tally.tried, tally.before, tally.mid, tally.after, tally.strays,
            tally.strayKills, full);
        EXPECT_GT(tally.mid, 0) << name_ << ": in " << tally.tried
                                << " kills none landed inside the write, so nothing was shown "
                                   "about a crash while writing";
    }

private:
    std::string name_;
    std::function<void()> prepare_;
    std::function<bool()> write_;
    std::function<int()> check_;
};

// An appended file: old content whole, then a prefix of what the append
// adds. Returns -1 (old), 0 (part of the new bytes), 1 (all of them).
int checkAppend(const QString& path, const QByteArray& old, bool oldExisted,
                const QByteArray& full) {
    if (!exists(path)) {
        EXPECT_FALSE(oldExisted) << path.toStdString() << " vanished";
        return -1;
    }
    const QByteArray now = slurp(path);
    EXPECT_TRUE(now.startsWith(old)) << path.toStdString() << ": old content changed";
    EXPECT_TRUE(full.startsWith(now)) << path.toStdString() << ": not old + a prefix of the new";
    if (now == old) return -1;
    return now == full ? 1 : 0;
}

// What an append adds to old content: CR LF first when the old last line
// has no line end.
QByteArray appended(const QByteArray& old, const QByteArray& bytes) {
    if (old.isEmpty() || encoding::endsWithLineEnd(std::string_view(old.data(), old.size())))
        return old + bytes;
    return old + "\r\n" + bytes;
}

// Several files: before when all are old, after when all are new.
int combine(const std::vector<int>& states) {
    bool allOld = true, allNew = true;
    for (int s : states) {
        allOld = allOld && s < 0;
        allNew = allNew && s > 0;
    }
    return allOld ? -1 : allNew ? 1 : 0;
}

class CrashTest : public ::testing::Test {
protected:
    static void TearDownTestSuite() {
        int tried = 0, mid = 0;
        for (const auto& [name, t] : tallies()) {
            tried += t.tried;
            mid += t.mid;
        }
        std::printf("[ crash    ] in all %d kills, %d during a write\n", tried, mid);
    }

    QTemporaryDir dir_;
    QString at(const QString& name) const { return dir_.filePath(name); }
};

TEST_F(CrashTest, PlainSaveKeepsOldContentAndAddsAPrefix) {
    ASSERT_TRUE(dir_.isValid());
    const QString path = at(QStringLiteral("clip.txt"));
    // The old last line has no line end: the append puts CR LF first.
    const QByteArray old =
        encoding::toCp932(clipLines(200, QStringLiteral("old")) + QStringLiteral("最後の行"));
    // The lines are encoded beforehand, as the save does before it touches
    // the file, so the child's time goes to the append and its flush.
    const std::vector<QString> lines = encoding::cutAtCrLf(clipLines(40000, QStringLiteral("new")));
    const QByteArray block = saving::plainBlocks(lines, path)[0].bytes;
    const QByteArray full = appended(old, block);

    Campaign campaign(
        "save plain", [&] { spit(path, old); },
        [&] { return !saving::appendToSaveFile(path, block); },
        [&] { return checkAppend(path, old, true, full); });
    campaign.run(dir_.path(), {QStringLiteral("clip.txt")});
}

TEST_F(CrashTest, PerTitleSaveKeepsEveryFileWhole) {
    ASSERT_TRUE(dir_.isValid());
    const QString savePath = at(QStringLiteral("clip.txt"));
    // Twelve titles, each twice; the files of the first four exist already
    // (two of them without a line end at their end).
    QString text = QStringLiteral("ヘッダ\r\n");
    for (int round = 0; round < 2; ++round) {
        for (int t = 0; t < 12; ++t) {
            text += QStringLiteral("\r\n●題%1　作者\r\n").arg(t);
            text += clipLines(300, QStringLiteral("t%1r%2").arg(t).arg(round));
        }
    }
    text += QStringLiteral("おわり");
    const std::vector<QString> lines = encoding::cutAtCrLf(text);
    const std::vector<saving::FileBlock> blocks = saving::titleBlocks(lines, savePath);
    ASSERT_EQ(blocks.size(), 12u);

    std::vector<QByteArray> olds(blocks.size());
    std::vector<QByteArray> fulls(blocks.size());
    QSet<QString> names;
    for (size_t k = 0; k < blocks.size(); ++k) {
        if (k < 4)
            olds[k] = encoding::toCp932(QStringLiteral("前の保存 %1").arg(k) +
                                        (k % 2 ? QStringLiteral("\r\n") : QString()));
        fulls[k] = appended(olds[k], blocks[k].bytes);
        names.insert(QFileInfo(blocks[k].path).fileName());
    }
    auto prepare = [&] {
        for (size_t k = 0; k < blocks.size(); ++k) {
            if (k < 4)
                spit(blocks[k].path, olds[k]);
            else
                QFile::remove(blocks[k].path);
        }
    };
    auto check = [&] {
        std::vector<int> states;
        for (size_t k = 0; k < blocks.size(); ++k)
            states.push_back(checkAppend(blocks[k].path, olds[k], k < 4, fulls[k]));
        return combine(states);
    };
    Campaign campaign(
        "save per title", prepare,
        [&] { return saving::saveLines(lines, true, savePath).failures.empty(); }, check);
    campaign.run(dir_.path(), names);
}

// A file that needs converting: paragraphs of several lines.
QByteArray unconverted(int paragraphs, int tag) {
    QString text;
    for (int p = 0; p < paragraphs; ++p) {
        for (int l = 0; l < 4; ++l)
            text += QStringLiteral("段落%1-%2 の %3 行目、ここまで。\r\n").arg(tag).arg(p).arg(l);
        text += QStringLiteral("\r\n");
    }
    return encoding::toCp932(text);
}

int checkReplaced(const QString& path, const QByteArray& old, const QByteArray& fresh) {
    const QByteArray now = slurp(path);
    EXPECT_TRUE(now == old || now == fresh)
        << path.toStdString() << ": neither the old content nor the new (" << now.size()
        << " bytes; old " << old.size() << ", new " << fresh.size() << ")";
    return now == fresh ? 1 : -1;
}

TEST_F(CrashTest, ConvertOneFileIsAllOrNothing) {
    ASSERT_TRUE(dir_.isValid());
    const QString path = at(QStringLiteral("issue.txt"));
    const QByteArray old = unconverted(20000, 0);
    const QByteArray fresh = convert::joinParagraphs(std::string_view(old.data(), old.size()));
    ASSERT_NE(fresh, old);
    Campaign campaign(
        "convert file", [&] { spit(path, old); }, [&] { return !convert::convertFile(path); },
        [&] { return checkReplaced(path, old, fresh); });
    campaign.run(dir_.path(), {QStringLiteral("issue.txt")});
}

TEST_F(CrashTest, ConvertFolderLeavesEachFileOldOrNew) {
    ASSERT_TRUE(dir_.isValid());
    constexpr int kFiles = 20;
    std::vector<QString> paths;
    std::vector<QByteArray> olds, freshes;
    QSet<QString> names;
    for (int i = 0; i < kFiles; ++i) {
        const QString name = QStringLiteral("f%1.txt").arg(i, 2, 10, QLatin1Char('0'));
        names.insert(name);
        paths.push_back(at(name));
        olds.push_back(unconverted(500, i));
        freshes.push_back(
            convert::joinParagraphs(std::string_view(olds.back().data(), olds.back().size())));
    }
    auto prepare = [&] {
        for (int i = 0; i < kFiles; ++i) spit(paths[i], olds[i]);
    };
    auto check = [&] {
        std::vector<int> states;
        for (int i = 0; i < kFiles; ++i)
            states.push_back(checkReplaced(paths[i], olds[i], freshes[i]));
        return combine(states);
    };
    Campaign campaign(
        "convert folder", prepare,
        [&] {
            const convert::FolderOutcome out = convert::convertFolder(dir_.path());
            return !out.listing && out.failures.empty() && out.converted == kFiles;
        },
        check);
    campaign.run(dir_.path(), names);

    // What a killed run leaves behind ("f00.txt.AbC123") is no .txt file
    // of the user's: the next run leaves it alone.
    const QString leftover = at(QStringLiteral("f00.txt.AbC123"));
    const QByteArray partial = olds[0].left(100);
    spit(leftover, partial);
    convert::convertFolder(dir_.path());
    EXPECT_EQ(slurp(leftover), partial);
}

TEST_F(CrashTest, SettingsAtClosingAreOldOrNew) {
    ASSERT_TRUE(dir_.isValid());
    const QString dat = at(QStringLiteral("data.dat"));
    const QString dat2 = at(QStringLiteral("data2.dat"));
    testing::FakeWindowSettings oldForm;
    oldForm.savePath = QStringLiteral("/home/user/古い/clip.txt");
    const QByteArray oldDat = settings::datFileBytes(oldForm);
    const QByteArray oldDat2 = *settings::dat2FileBytes(oldForm.savePath);

    testing::FakeWindowSettings form;
    form.files.data = dat;
    form.files.data2 = dat2;
    form.savePath = QStringLiteral("/home/user/新しい保存先/clip.txt");
    form.setOuterWidth(9000);
    form.setFontName(QStringLiteral("IPAGothic"));
    form.setOption(WithTitles, true);
    const QByteArray newDat = settings::datFileBytes(form);
    const QByteArray newDat2 = *settings::dat2FileBytes(form.savePath);

    Campaign campaign(
        "settings",
        [&] {
            spit(dat, oldDat);
            spit(dat2, oldDat2);
        },
        [&] {
            settings::storeSettings(form, form.files, form.savePath);
            return slurp(dat) == newDat && slurp(dat2) == newDat2;
        },
        [&] {
            return combine(
                {checkReplaced(dat, oldDat, newDat), checkReplaced(dat2, oldDat2, newDat2)});
        });
    campaign.run(dir_.path(), {QStringLiteral("data.dat"), QStringLiteral("data2.dat")});
}

}  // namespace
}  // namespace sorimba::reliability
