#include "launch/file_queue.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>

namespace sorimba::launch {
namespace {

void spinUntil(const std::function<bool()>& done, int ms = 3000) {
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

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
    spinUntil([] { return false; }, 3 * FileQueue::kRetryMs);
    EXPECT_TRUE(imported.isEmpty());
    EXPECT_EQ(queue.pending(), 1);
    busy = false;
    spinUntil([&] { return !imported.isEmpty(); });
    EXPECT_EQ(imported, QStringList{QStringLiteral("/a")});
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
                            QTimer::singleShot(4 * FileQueue::kRetryMs, &box, &QEventLoop::quit);
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
