#include "launch/file_queue.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

namespace sorimba::launch {
namespace {

// Runs the event loop as the program does (waiting for events when there
// are none) until `done` or the time is up.
void spinUntil(const std::function<bool()>& done, int ms = 3000) {
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

constexpr int kBoxMs = 400;

TEST(FileQueue, ImportsEachFileInOrderFromTheEventLoop) {
    QStringList imported;
    FileQueue queue([] { return false; }, [&](const QString& f) { imported << f; });
    queue.add({QStringLiteral("/a"), QStringLiteral("/b")});
    queue.add({QStringLiteral("/c")});
    EXPECT_TRUE(imported.isEmpty());  // never inside the caller
    spinUntil([&] { return imported.size() == 3; });
    EXPECT_EQ(imported,
              QStringList({QStringLiteral("/a"), QStringLiteral("/b"), QStringLiteral("/c")}));
    EXPECT_EQ(queue.pending(), 0);
}

TEST(FileQueue, FilesWaitWhileTheWindowIsBusy) {
    bool busy = true;
    QStringList imported;
    FileQueue queue([&] { return busy; }, [&](const QString& f) { imported << f; });
    queue.add({QStringLiteral("/a")});
    spinUntil([] { return false; }, kBoxMs);
    EXPECT_TRUE(imported.isEmpty());
    EXPECT_EQ(queue.pending(), 1);
    busy = false;
    spinUntil([] { return false; }, kBoxMs);
    EXPECT_TRUE(imported.isEmpty());  // not polled: it waits to be told
    queue.resume();
    spinUntil([&] { return !imported.isEmpty(); });
    EXPECT_EQ(imported, QStringList{QStringLiteral("/a")});
}

TEST(FileQueue, AFileWaitingForADialogIsImportedWhenItClosesWithoutAskingAgain) {
    // Busy as the window is: inside an event loop of a dialog, which tells
    // the queue when it has closed.
    int asked = 0;
    QStringList imported;
    QEventLoop program;
    FileQueue queue(
        [&] {
            ++asked;
            return QThread::currentThread()->loopLevel() > 1;
        },
        [&](const QString& f) {
            imported << f;
            program.quit();
        });
    QTimer::singleShot(0, [&] {
        QEventLoop dialog;
        queue.add({QStringLiteral("/a")});
        QTimer::singleShot(kBoxMs, &dialog, &QEventLoop::quit);
        dialog.exec();
        EXPECT_EQ(asked, 1);  // once, when the file came
        EXPECT_TRUE(imported.isEmpty());
        queue.resume();
        queue.resume();  // told twice: still one import
    });
    QTimer::singleShot(5 * kBoxMs, &program, &QEventLoop::quit);
    program.exec();
    EXPECT_EQ(imported, QStringList{QStringLiteral("/a")});
    EXPECT_EQ(asked, 2);
}

TEST(FileQueue, AFileArrivingDuringAnImportWaitsForIt) {
    // The first import shows a "message box": an event loop of its own, in
    // which another file arrives. It is imported after the first one ends.
    QStringList events;
    FileQueue* queueRef = nullptr;
    FileQueue queue([] { return false; },
                    [&](const QString& f) {
                        events << QStringLiteral("start ") + f;
                        if (f == QStringLiteral("/first")) {
                            queueRef->add({QStringLiteral("/second")});
                            QEventLoop box;
                            QTimer::singleShot(kBoxMs, &box, &QEventLoop::quit);
                            box.exec();
                        }
                        events << QStringLiteral("end ") + f;
                    });
    queueRef = &queue;
    queue.add({QStringLiteral("/first")});
    spinUntil([&] { return events.size() == 4; });
    EXPECT_EQ(events,
              QStringList({QStringLiteral("start /first"), QStringLiteral("end /first"),
                           QStringLiteral("start /second"), QStringLiteral("end /second")}));
}

}  // namespace
}  // namespace sorimba::launch
