// The order of the flushes, read from the system calls themselves: the real
// programs run under `strace -f -y`, which names the file behind every
// descriptor. What must hold for a power cut at any moment to leave each file
// whole:
//   - an appended file is flushed (fdatasync or fsync) after its last write;
//   - a new file's folder is flushed after the file;
//   - a replaced file's new content goes into another file, which is flushed
//     before it is renamed into place, and the folder is flushed after that;
//   - nothing flushes a whole file system (sync, syncfs): that waits for
//     every other program's unwritten data.
// The checker itself is tried on traces that break each rule.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "settings/dat_format.h"
#include "settings/settings.h"
#include "support/fake_window_settings.h"
#include "support/files.h"

namespace sorimba::reliability {
namespace {

using testing::slurp;
using testing::spit;

// When this is set, the test program writes the settings files into the
// folder it names and ends at once: that is the process traced for them.
constexpr const char* kSettingsChild = "SORIMBA_FLUSH_ORDER_SETTINGS_INTO";

struct SettingsChild {
    SettingsChild() {
        const char* folder = std::getenv(kSettingsChild);
        if (folder == nullptr) return;
        testing::FakeWindowSettings window;
        const QString dir = QString::fromLocal8Bit(folder);
        window.files.data = dir + QStringLiteral("/data.dat");
        window.files.data2 = dir + QStringLiteral("/data2.dat");
        window.savePath = QStringLiteral("/home/user/clip.txt");
        std::_Exit(settings::writeSettings(window, window.files, window.savePath) ? 0 : 1);
    }
} const settingsChild;

// One system call of a trace: its name, its arguments as strace shows them,
// its result, and the lines at which it started and ended (a call that
// another process interrupted starts and ends on different lines).
struct Call {
    std::string name;
    std::string args;
    long result = -1;
    size_t started = 0;
    size_t ended = 0;
};

std::vector<Call> parseTrace(const std::string& text) {
    std::vector<Call> calls;
    std::map<std::string, size_t> unfinished;  // pid and name -> call
    std::istringstream in(text);
    std::string line;
    for (size_t n = 0; std::getline(in, line); ++n) {
        std::string pid;
        if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0]))) {
            const size_t space = line.find(' ');
            pid = line.substr(0, space);
            line = line.substr(line.find_first_not_of(' ', space));
        }
        // The end of a call: ")", spaces that align the results, "= result".
        auto finish = [&](Call& call, const std::string& rest) {
            const size_t equals = rest.rfind(" = ");
            if (equals == std::string::npos) return;
            const size_t close = rest.find_last_not_of(' ', equals);
            if (close == std::string::npos || rest[close] != ')') return;
            call.args += rest.substr(0, close);
            call.result = std::strtol(rest.c_str() + equals + 3, nullptr, 10);
            call.ended = n;
        };
        if (line.rfind("<... ", 0) == 0) {  // "<... fsync resumed>) = 0"
            const size_t nameEnd = line.find(' ', 5);
            const std::string name = line.substr(5, nameEnd - 5);
            auto found = unfinished.find(pid + " " + name);
            if (found == unfinished.end()) continue;
            finish(calls[found->second], line.substr(line.find('>') + 1));
            unfinished.erase(found);
            continue;
        }
        const size_t open = line.find('(');
        if (open == std::string::npos || line[0] == '+' || line[0] == '-') continue;
        Call call;
        call.name = line.substr(0, open);
        call.started = n;
        const std::string rest = line.substr(open + 1);
        const size_t cut = rest.rfind(" <unfinished ...>");
        if (cut != std::string::npos) {
            call.args = rest.substr(0, cut);
            unfinished[pid + " " + call.name] = calls.size();
        } else {
            finish(call, rest);
        }
        calls.push_back(std::move(call));
    }
    return calls;
}

// The path strace -y shows behind the first descriptor argument: "3</a/b>".
std::string descriptorPath(const std::string& args) {
    const size_t open = args.find('<');
    const size_t close = args.find('>', open);
    if (open == std::string::npos || close == std::string::npos) return {};
    return args.substr(open + 1, close - open - 1);
}

// The quoted strings among the arguments (paths, as strace prints them).
std::vector<std::string> quoted(const std::string& args) {
    std::vector<std::string> strings;
    for (size_t at = args.find('"'); at != std::string::npos; at = args.find('"', at + 1)) {
        const size_t end = args.find('"', at + 1);
        if (end == std::string::npos) break;
        strings.push_back(args.substr(at + 1, end - at - 1));
        at = end;
    }
    return strings;
}

bool isWrite(const Call& c) {
    return c.name == "write" || c.name == "pwrite64" || c.name == "writev" || c.name == "pwritev" ||
           c.name == "pwritev2";
}
bool isFlush(const Call& c) {
    return c.name == "fdatasync" || c.name == "fsync";
}
bool isRename(const Call& c) {
    return c.name == "rename" || c.name == "renameat" || c.name == "renameat2";
}

class Checker {
public:
    explicit Checker(std::vector<Call> calls) : calls_(std::move(calls)) {
        for (const Call& c : calls_)
            if (c.name == "sync" || c.name == "syncfs")
                problems_.push_back(c.name + " flushes a whole file system");
    }

    // A file that got new bytes at its end; `isNew` when it did not exist.
    void appended(const std::string& path, bool isNew) {
        const std::optional<size_t> written = lastWrite(path);
        if (!written) return problem(path + ": never written");
        const std::optional<size_t> flushed = flushAfter(path, *written);
        if (!flushed) return problem(path + ": not flushed after its last write");
        if (isNew && !flushAfter(folder(path), *flushed))
            problem(path + ": its folder is not flushed after the new file");
    }

    // A file whose content was replaced.
    void replaced(const std::string& path) {
        if (lastWrite(path)) problem(path + ": written in place, not through another file");
        const Call* rename = nullptr;
        for (const Call& c : calls_) {
            const std::vector<std::string> paths = quoted(c.args);
            if (isRename(c) && c.result == 0 && paths.size() >= 2 && paths[1] == path) rename = &c;
        }
        if (rename == nullptr) return problem(path + ": nothing renamed into its place");
        const std::string temp = quoted(rename->args)[0];
        const std::optional<size_t> written = lastWrite(temp);
        if (!written) return problem(path + ": its new content was never written");
        const std::optional<size_t> flushed = flushAfter(temp, *written);
        if (!flushed || *flushed > rename->started)
            problem(path + ": its new content is not flushed before the rename");
        if (!flushAfter(folder(path), rename->ended))
            problem(path + ": its folder is not flushed after the rename");
    }

    const std::vector<std::string>& problems() const { return problems_; }

private:
    void problem(const std::string& text) { problems_.push_back(text); }

    static std::string folder(const std::string& path) { return path.substr(0, path.rfind('/')); }

    std::optional<size_t> lastWrite(const std::string& path) const {
        std::optional<size_t> last;
        for (const Call& c : calls_)
            if (isWrite(c) && c.result > 0 && descriptorPath(c.args) == path) last = c.ended;
        return last;
    }

    // The end of the first successful flush of `path` that started after
    // line `after`.
    std::optional<size_t> flushAfter(const std::string& path, size_t after) const {
        for (const Call& c : calls_)
            if (isFlush(c) && c.result == 0 && c.started > after && descriptorPath(c.args) == path)
                return c.ended;
        return std::nullopt;
    }

    std::vector<Call> calls_;
    std::vector<std::string> problems_;
};

std::string joined(const std::vector<std::string>& problems) {
    std::string text;
    for (const std::string& p : problems) text += "\n  " + p;
    return text;
}

class FlushOrder : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        // strace names files by their real path.
        root_ = QFileInfo(dir_.path()).canonicalFilePath().toStdString();
        const char* clip = std::getenv("SORIMBA_CLIP");
        ASSERT_TRUE(clip) << "SORIMBA_CLIP is not set";
        clip_ = clip;
        // strace is installed with the other tools: without it this test
        // could check nothing, and says so by failing.
        ASSERT_EQ(std::system("strace -V >/dev/null 2>&1"), 0)
            << "strace is missing (tools/install-deps.sh installs it)";
        if (std::system("strace -qq -o /dev/null true >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "SKIPPED LOUDLY: strace cannot trace processes here (ptrace is "
                            "not allowed); the flush order is NOT checked";
    }

    std::string at(const char* name) const { return root_ + "/" + name; }

    // Runs a shell command under strace; the calls it made.
    std::vector<Call> trace(const std::string& command, int expectedStatus = 0) {
        const std::string log = at("trace.log");
        // The leak checker of a sanitizer build cannot work under a tracer.
        const std::string full =
            "ASAN_OPTIONS=\"$ASAN_OPTIONS:detect_leaks=0\" strace -f -y -qq -s 0 -o '" + log +
            "' -e trace=write,pwrite64,writev,pwritev,pwritev2,fsync,fdatasync,sync,syncfs,"
            "sync_file_range,rename,renameat,renameat2 " +
            command;
        const int status = std::system(full.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == expectedStatus) << full;
        const QByteArray text = slurp(QString::fromStdString(log));
        QFile::remove(QString::fromStdString(log));
        return parseTrace(text.toStdString());
    }

    std::string clip(const std::string& args) const { return "'" + clip_ + "' " + args; }

    QTemporaryDir dir_;
    std::string root_;
    std::string clip_;
};

TEST_F(FlushOrder, PlainSaveFlushesTheFileAndANewFilesFolder) {
    spit(QString::fromStdString(at("old.txt")), "earlier save\r\n");
    spit(QString::fromStdString(at("clip.txt")), "一行目\n二行目\n");
    for (const char* name : {"old.txt", "new.txt"}) {
        Checker check(trace(clip("save --save-path '" + at(name) + "' '" + at("clip.txt") + "'")));
        check.appended(at(name), std::string(name) == "new.txt");
        EXPECT_TRUE(check.problems().empty()) << name << joined(check.problems());
    }
}

TEST_F(FlushOrder, PerTitleSaveFlushesEveryFileBeforeTheirFolder) {
    // Five titles; two of their files exist already.
    spit(QString::fromStdString(at("Alpha.txt")), "earlier\r\n");
    spit(QString::fromStdString(at("Gamma.txt")), "earlier");
    std::string text = "header\n";
    for (const char* title : {"Alpha", "Beta", "Gamma", "Delta", "Epsilon"})
        text += std::string("\n●") + title + "\n○entry of " + title + "\n";
    text += "end\n";
    spit(QString::fromStdString(at("clip.txt")), QByteArray::fromStdString(text));
    Checker check(trace(
        clip("save --with-titles --save-path '" + at("save.txt") + "' '" + at("clip.txt") + "'")));
    for (const char* title : {"Alpha", "Beta", "Gamma", "Delta", "Epsilon"}) {
        const std::string name = std::string(title) + ".txt";
        check.appended(at(name.c_str()), name != "Alpha.txt" && name != "Gamma.txt");
    }
    EXPECT_TRUE(check.problems().empty()) << joined(check.problems());
}

TEST_F(FlushOrder, ConvertFlushesTheNewContentRenamesThenFlushesTheFolder) {
    const QByteArray unconverted("one\r\ntwo\r\n\r\nthree\r\nfour\r\n");
    spit(QString::fromStdString(at("one.txt")), unconverted);
    Checker single(trace(clip("convert '" + at("one.txt") + "'")));
    single.replaced(at("one.txt"));
    EXPECT_TRUE(single.problems().empty()) << joined(single.problems());

    QDir().mkdir(QString::fromStdString(at("folder")));
    std::vector<std::string> files;
    for (int i = 0; i < 20; ++i) {
        files.push_back(at(("folder/f" + std::to_string(i) + ".txt").c_str()));
        spit(QString::fromStdString(files.back()), unconverted);
    }
    Checker folder(trace(clip("convert --folder '" + at("folder") + "'")));
    for (const std::string& file : files) folder.replaced(file);
    EXPECT_TRUE(folder.problems().empty()) << joined(folder.problems());
}

TEST_F(FlushOrder, SettingsFilesAreReplacedInTheSameOrder) {
    spit(QString::fromStdString(at("data.dat")), "old\r\n");
    const std::string self =
        QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().toStdString();
    Checker check(trace("env " + std::string(kSettingsChild) + "='" + root_ + "' '" + self + "'"));
    check.replaced(at("data.dat"));
    check.replaced(at("data2.dat"));  // created: the rename is what gives it its name
    EXPECT_TRUE(check.problems().empty()) << joined(check.problems());
}

// A mail import: each batch's journal is a new file flushed before it takes
// its name, and that name flushed, before the first byte of the batch goes
// into the save file; the save file and then the record are flushed.
TEST_F(FlushOrder, ImportFlushesItsJournalBeforeTheSaveFileThenTheRecord) {
    QFile sample(QString::fromLocal8Bit(std::getenv("SORIMBA_SOURCE")) +
                 "/samples/issue-sample.txt");
    ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
    spit(QString::fromStdString(at("in.mbox")),
         "From editor@example.com Mon Jan  1 00:00:00 2024\nFrom: editor@example.com\n"
         "Message-ID: <1@example.com>\nMIME-Version: 1.0\n"
         "Content-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n\n" +
             sample.readAll().replace("\r\n", "\n") + "\n");
    const std::vector<Call> calls =
        trace(clip("import --save-path '" + at("save.txt") + "' '" + at("in.mbox") + "'"));
    Checker check(calls);
    const std::string journal = at(".save.txt.sorimba-imported.pending");
    check.replaced(journal);
    // Both are created (and their folder flushed) before their last bytes.
    check.appended(at("save.txt"), false);
    check.appended(at(".save.txt.sorimba-imported"), false);
    EXPECT_TRUE(check.problems().empty()) << joined(check.problems());
    // The journal is in place before the batch is written.
    size_t placed = 0, firstWrite = 0;
    for (const Call& c : calls) {
        const std::vector<std::string> paths = quoted(c.args);
        if (isRename(c) && paths.size() >= 2 && paths[1] == journal) placed = c.ended;
        if (isWrite(c) && c.result > 0 && descriptorPath(c.args) == at("save.txt") &&
            firstWrite == 0)
            firstWrite = c.started;
    }
    EXPECT_GT(placed, 0u);
    EXPECT_LT(placed, firstWrite);
}

// The checker on traces that break each rule: it must see every fault.
TEST(FlushOrderChecker, FindsEachMissingFlushAndEachWrongOrder) {
    auto problems = [](const std::string& trace, bool replaced) {
        Checker check(parseTrace(trace));
        if (replaced)
            check.replaced("/d/a.txt");
        else
            check.appended("/d/a.txt", /*isNew=*/true);
        return check.problems().size();
    };
    const std::string write = "1 write(3</d/a.txt>, \"\"..., 10) = 10\n";
    const std::string flush = "1 fdatasync(3</d/a.txt>) = 0\n";
    const std::string folder = "1 fsync(4</d>) = 0\n";
    EXPECT_EQ(problems(write + flush + folder, false), 0u);
    EXPECT_EQ(problems(write + folder, false), 1u);          // no flush of the file
    EXPECT_EQ(problems(write + flush, false), 1u);           // no flush of the folder
    EXPECT_EQ(problems(write + folder + flush, false), 1u);  // folder before the file
    EXPECT_EQ(problems(flush + write + folder, false), 1u);  // flushed before the write
    EXPECT_EQ(problems("1 fdatasync(3</d/a.txt> <unfinished ...>\n" + write +
                           "1 <... fdatasync resumed>) = 0\n" + folder,
                       false),
              1u);  // a flush that started before the write ended
    EXPECT_EQ(problems(write + "1 fdatasync(3</d/a.txt>) = -1 EIO (Input/output error)\n" + folder,
                       false),
              1u);  // a failed flush is none
    EXPECT_EQ(problems(write + flush + folder + "1 syncfs(5</d>) = 0\n", false), 1u);

    const std::string tempWrite = "1 write(3</d/a.txt.Ab12Cd>, \"\"..., 10) = 10\n";
    const std::string tempFlush = "1 fdatasync(3</d/a.txt.Ab12Cd>) = 0\n";
    const std::string rename = "1 rename(\"/d/a.txt.Ab12Cd\", \"/d/a.txt\") = 0\n";
    EXPECT_EQ(problems(tempWrite + tempFlush + rename + folder, true), 0u);
    EXPECT_EQ(problems(tempWrite + rename + folder, true), 1u);  // not flushed
    EXPECT_EQ(problems(tempWrite + rename + tempFlush + folder, true),
              1u);  // flushed after the rename
    EXPECT_EQ(problems(tempWrite + tempFlush + folder + rename, true),
              1u);                                                  // folder flushed too early
    EXPECT_EQ(problems(tempWrite + tempFlush + folder, true), 1u);  // never renamed
    EXPECT_EQ(problems(write + flush + folder, true), 2u);  // written in place, never renamed
}

}  // namespace
}  // namespace sorimba::reliability
