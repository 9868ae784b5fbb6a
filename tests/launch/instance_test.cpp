#include "launch/instance.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <atomic>
#include <functional>
#include <memory>
#include <string_view>
#include <thread>
#include <vector>

#include "launch/file_queue.h"

namespace sorimba::launch {
namespace {

using State = Decoded::State;

QByteArray message(std::initializer_list<const char*> paths) {
    QByteArray m = "SORIMBA-OPEN/1\n";
    for (const char* p : paths) m += QByteArray(p) + '\0';
    return m + '\n';
}

TEST(InstanceMessage, RoundTripsAnyAbsolutePath) {
    const QStringList files = {QStringLiteral("/home/r/号 1.txt"),
                               QStringLiteral("/tmp/line\nbreak"), QStringLiteral("/a")};
    const QByteArray encoded = encodeMessage(files);
    const Decoded decoded = decodeMessage(encoded);
    EXPECT_EQ(decoded.state, State::Complete);
    EXPECT_EQ(decoded.files, files);
    // No files: the window is only raised.
    EXPECT_EQ(decodeMessage(encodeMessage({})).state, State::Complete);
    EXPECT_TRUE(decodeMessage(encodeMessage({})).files.isEmpty());
}

TEST(InstanceMessage, IsIncompleteUntilItsEndMark) {
    const QByteArray whole = message({"/a.txt", "/b.txt"});
    for (qsizetype cut = 0; cut < whole.size(); ++cut)
        EXPECT_EQ(decodeMessage(whole.left(cut)).state, State::Incomplete) << cut;
    EXPECT_EQ(decodeMessage(whole).state, State::Complete);
}

TEST(InstanceMessage, AnythingElseIsRejected) {
    const QByteArray longPath = '/' + QByteArray(kMaxPathBytes, 'x');
    const QByteArray cases[] = {
        "GET / HTTP/1.1\r\n\r\n",
        "SORIMBA-OPEN/2\n\n",
        message({"relative.txt"}),
        message({""}),
        message({"/a.txt"}) + "trailing",
        "SORIMBA-OPEN/1\n" + longPath + '\0' + '\n',
        "SORIMBA-OPEN/1\n" + longPath,  // rejected before its end arrives
        QByteArray("SORIMBA-OPEN/1\n/bad\xff\xfe", 21) + '\0' + '\n',
    };
    for (const QByteArray& received : cases)
        EXPECT_EQ(decodeMessage(received).state, State::Invalid) << received.left(40).toStdString();

    QByteArray tooMany = "SORIMBA-OPEN/1\n";
    for (int i = 0; i <= kMaxFiles; ++i) tooMany += "/f" + QByteArray::number(i) + '\0';
    EXPECT_EQ(decodeMessage(tooMany + '\n').state, State::Invalid);
    EXPECT_EQ(decodeMessage(QByteArray(kMaxMessageBytes + 1, '/')).state, State::Invalid);
}

// The longest path that fits is taken, whole or still arriving; one byte
// more is refused before its end arrives.
TEST(InstanceMessage, TheLongestPathFits) {
    const QByteArray longest = '/' + QByteArray(kMaxPathBytes - 2, 'x');  // with its NUL: the limit
    const QByteArray start = "SORIMBA-OPEN/1\n";
    const Decoded whole = decodeMessage(start + longest + '\0' + '\n');
    ASSERT_EQ(whole.state, State::Complete);
    EXPECT_EQ(whole.files, QStringList{QString::fromLatin1(longest)});
    EXPECT_EQ(decodeMessage(start + longest).state, State::Incomplete);
    EXPECT_EQ(decodeMessage(start + longest + 'x').state, State::Invalid);
}

TEST(InstanceMessage, FilesBeyondTheLimitsAreNotEncoded) {
    QStringList many;
    for (int i = 0; i <= kMaxFiles; ++i) many << QStringLiteral("/f%1").arg(i);
    EXPECT_TRUE(encodeMessage(many).isEmpty());
    EXPECT_FALSE(encodeMessage(many.mid(1)).isEmpty());
    EXPECT_TRUE(
        encodeMessage({QLatin1Char('/') + QString(kMaxPathBytes, QLatin1Char('x'))}).isEmpty());
    EXPECT_TRUE(encodeMessage({QStringLiteral("relative")}).isEmpty());
}

TEST(InstanceSocket, OnePathPerSettingsFolderInTheRuntimeFolder) {
    const QString a =
        socketPath(QStringLiteral("/home/r/.config/sorimba"), QStringLiteral("/run/user/7"));
    EXPECT_TRUE(a.startsWith(QStringLiteral("/run/user/7/sorimba-"))) << a.toStdString();
    EXPECT_EQ(a,
              socketPath(QStringLiteral("/home/r/.config/sorimba"), QStringLiteral("/run/user/7")));
    EXPECT_NE(a, socketPath(QStringLiteral("/opt/sorimba"), QStringLiteral("/run/user/7")));
    // Short enough for a socket address (108 bytes) from a usual runtime folder.
    EXPECT_LT(a.toUtf8().size(), 80);
}

// Runs `work` on a thread of its own while this thread's event loop runs,
// as a second start talks to the first window.
void runBeside(const std::function<void()>& work) {
    std::atomic<bool> done{false};
    std::thread thread([&] {
        work();
        done = true;
    });
    QDeadlineTimer deadline(10000);
    while (!done && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    thread.join();
    QCoreApplication::processEvents();
}

class Instance : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("test.socket")); }
};

TEST_F(Instance, ASecondStartHandsItsFilesToTheFirst) {
    InstanceServer first;
    QList<QStringList> opened;
    QObject::connect(&first, &InstanceServer::opened, [&](const QStringList& f) { opened << f; });
    ASSERT_EQ(claimOrHandOver(path(), {}, first), Claim::First);

    const QStringList files = {QStringLiteral("/tmp/a.txt"), QStringLiteral("/tmp/b c.eml")};
    Claim second = Claim::Alone;
    runBeside([&] {
        InstanceServer unused;
        second = claimOrHandOver(path(), files, unused);
    });
    EXPECT_EQ(second, Claim::HandedOver);
    EXPECT_EQ(opened, QList<QStringList>{files});

    // Too many files for one message: the start says so instead.
    QStringList many;
    for (int i = 0; i <= kMaxFiles; ++i) many << QStringLiteral("/f%1").arg(i);
    runBeside([&] {
        InstanceServer unused;
        second = claimOrHandOver(path(), many, unused);
    });
    EXPECT_EQ(second, Claim::TooLarge);

    // Once the first window has closed, the next start is the first again.
    first.close();
    EXPECT_FALSE(QFileInfo::exists(path()));
    InstanceServer next;
    EXPECT_EQ(claimOrHandOver(path(), {}, next), Claim::First);
}

TEST_F(Instance, TheSocketOfAKilledWindowDoesNotBlockTheNextStart) {
    // A socket file nobody listens on, as a killed window leaves it.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = path().toLocal8Bit();
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);

    InstanceServer next;
    EXPECT_EQ(claimOrHandOver(path(), {QStringLiteral("/tmp/a.txt")}, next, 2000), Claim::First);
    EXPECT_EQ(next.path(), path());
}

TEST_F(Instance, GarbageAndSilentClientsAreDroppedUnanswered) {
    InstanceServer first;
    first.silenceMs = 300;
    int opened = 0;
    QObject::connect(&first, &InstanceServer::opened, [&] { ++opened; });
    ASSERT_EQ(claimOrHandOver(path(), {}, first), Claim::First);

    for (const QByteArray& garbage :
         {QByteArray("GET / HTTP/1.0\r\n\r\n"), message({"rel"}), QByteArray()}) {
        QByteArray answer;
        bool closed = false;
        runBeside([&] {
            QLocalSocket socket;
            socket.connectToServer(path());
            if (!socket.waitForConnected(2000)) return;
            socket.write(garbage);
            socket.waitForBytesWritten(2000);
            // The server closes the connection (at once, or after its
            // timeout for the silent client) and never answers.
            QDeadlineTimer deadline(5000);
            while (socket.state() == QLocalSocket::ConnectedState && !deadline.hasExpired()) {
                socket.waitForReadyRead(100);
                answer += socket.readAll();
            }
            closed = socket.state() != QLocalSocket::ConnectedState;
        });
        EXPECT_TRUE(closed) << garbage.toStdString();
        EXPECT_TRUE(answer.isEmpty()) << garbage.toStdString();
    }
    EXPECT_EQ(opened, 0);

    // The window still takes a proper message afterwards.
    Claim second = Claim::Alone;
    runBeside([&] {
        InstanceServer unused;
        second = claimOrHandOver(path(), {QStringLiteral("/tmp/a.txt")}, unused);
    });
    EXPECT_EQ(second, Claim::HandedOver);
    EXPECT_EQ(opened, 1);
}

TEST_F(Instance, IdleConnectionsNeverShutOutAStart) {
    InstanceServer first;
    int opened = 0;
    QObject::connect(&first, &InstanceServer::opened, [&] { ++opened; });
    ASSERT_EQ(claimOrHandOver(path(), {}, first), Claim::First);

    // More idle connections than are served at once, all still open when
    // the start comes: it is answered all the same, long before the idle
    // ones would time out.
    Claim second = Claim::Alone;
    runBeside([&] {
        std::vector<std::unique_ptr<QLocalSocket>> idle;
        for (int i = 0; i < 12; ++i) {
            idle.push_back(std::make_unique<QLocalSocket>());
            idle.back()->connectToServer(path());
            idle.back()->waitForConnected(1000);
        }
        InstanceServer unused;
        second = claimOrHandOver(path(), {QStringLiteral("/tmp/a.txt")}, unused, 2000);
    });
    EXPECT_EQ(second, Claim::HandedOver);
    EXPECT_EQ(opened, 1);
}

TEST_F(Instance, AWindowWithTooManyFilesWaitingDeclinesMore) {
    InstanceServer first;
    QList<QStringList> opened;
    QObject::connect(&first, &InstanceServer::opened, [&](const QStringList& f) { opened << f; });
    first.admits = [](const QStringList& files) { return files.size() < 2; };
    ASSERT_EQ(claimOrHandOver(path(), {}, first), Claim::First);

    const QStringList two = {QStringLiteral("/tmp/a.txt"), QStringLiteral("/tmp/b.txt")};
    QList<Claim> claims;
    runBeside([&] {
        for (const QStringList& files : {two, two.mid(1)}) {
            InstanceServer unused;
            claims << claimOrHandOver(path(), files, unused, 2000);
        }
    });
    EXPECT_EQ(claims, (QList<Claim>{Claim::Full, Claim::HandedOver}));
    EXPECT_EQ(opened, QList<QStringList>{two.mid(1)});  // declined files never arrive
}

TEST(FileQueueRoom, CountsEveryFileWaiting) {
    FileQueue queue([] { return true; }, [](const QString&) {});
    QStringList files;
    for (int i = 0; i < FileQueue::kMaxWaiting - 1; ++i) files << QStringLiteral("/f%1").arg(i);
    queue.add(files);
    EXPECT_TRUE(queue.hasRoomFor(1));
    EXPECT_FALSE(queue.hasRoomFor(2));
    queue.add({QStringLiteral("/last")});
    EXPECT_FALSE(queue.hasRoomFor(1));
    EXPECT_TRUE(queue.hasRoomFor(0));  // raising the window needs no room
}

// The runtime folder without $XDG_RUNTIME_DIR: one of the user's own in
// $TMPDIR, never one that somebody else made or may enter.
class RuntimeFolder : public ::testing::Test {
protected:
    void SetUp() override {
        savedRuntime_ = qgetenv("XDG_RUNTIME_DIR");
        savedTmp_ = qgetenv("TMPDIR");
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", QFile::encodeName(tmp.path()));
    }
    void TearDown() override {
        restore("XDG_RUNTIME_DIR", savedRuntime_);
        restore("TMPDIR", savedTmp_);
    }
    static void restore(const char* name, const QByteArray& value) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    // The folder Qt picks in the temporary folder.
    QString fallback() const {
        const passwd* user = ::getpwuid(::geteuid());
        return tmp.filePath(QStringLiteral("runtime-") + QString::fromLocal8Bit(user->pw_name));
    }
    QTemporaryDir tmp;
    QByteArray savedRuntime_, savedTmp_;
};

TEST_F(RuntimeFolder, IsMadeForTheUserAloneWhenMissing) {
    const QString folder = runtimeFolder();
    ASSERT_EQ(folder, fallback());
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(folder).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(st.st_uid, ::geteuid());
    EXPECT_EQ(runtimeFolder(), folder);  // and used again

    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder));
    EXPECT_EQ(runtimeFolder(), folder);
}

TEST_F(RuntimeFolder, AFolderOthersMadeOrMayEnterIsRefused) {
    const QByteArray path = QFile::encodeName(fallback());
    const QByteArray elsewhere = QFile::encodeName(tmp.filePath(QStringLiteral("elsewhere")));
    ASSERT_EQ(::mkdir(elsewhere.constData(), 0700), 0);
    struct Case {
        const char* name;
        std::function<void()> make;
    };
    const Case cases[] = {
        {"open to others",
         [&] {
             ::mkdir(path.constData(), 0700);
             ::chmod(path.constData(), 0777);
         }},
        {"a link", [&] { ASSERT_EQ(::symlink(elsewhere.constData(), path.constData()), 0); }},
        {"a file", [&] { QFile(QFile::decodeName(path)).open(QIODevice::WriteOnly); }},
        {"another user's",
         [&] {
             ::mkdir(path.constData(), 0700);
             ASSERT_EQ(::chown(path.constData(), 65534, 65534), 0);
         }},
    };
    for (const Case& c : cases) {
        if (std::string_view(c.name) == "another user's" && ::geteuid() != 0) continue;
        c.make();
        EXPECT_EQ(runtimeFolder(), QString()) << c.name;
        ::rmdir(path.constData());
        ::unlink(path.constData());
    }
}

TEST_F(Instance, ASocketOfAnotherUserIsNeverSpokenTo) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the socket to another user";
    InstanceServer stranger;
    int opened = 0;
    QObject::connect(&stranger, &InstanceServer::opened, [&] { ++opened; });
    ASSERT_TRUE(stranger.listen(path()));
    ASSERT_EQ(::chown(path().toLocal8Bit().constData(), 65534, 65534), 0);

    Claim claim = Claim::First;
    runBeside([&] {
        InstanceServer unused;
        claim = claimOrHandOver(path(), {QStringLiteral("/home/r/secret.txt")}, unused);
    });
    EXPECT_EQ(claim, Claim::Alone);
    EXPECT_EQ(opened, 0);
}

}  // namespace
}  // namespace sorimba::launch
