#include "launch/file_queue.h"

#include <QAbstractEventDispatcher>

namespace sorimba::launch {

FileQueue::FileQueue(std::function<bool()> busy, std::function<void(const QString&)> import,
                     QObject* parent)
    : QObject(parent), busy_(std::move(busy)), import_(std::move(import)) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &FileQueue::importNext);
}

void FileQueue::add(const QStringList& files) {
    files_.insert(files_.end(), files.begin(), files.end());
    // From the event loop, never from inside the caller: the window may be
    // handling another event right now.
    if (!files_.empty() && !timer_.isActive()) timer_.start(0);
}

void FileQueue::importNext() {
    if (files_.empty()) return;
    // An import may itself show a message box, whose event loop would
    // call this again: the next file waits until this one is done.
    if (importing_ || busy_()) {
        waitUntilIdle();
        return;
    }
    const QString file = files_.front();
    files_.pop_front();
    importing_ = true;
    import_(file);
    importing_ = false;
    if (!files_.empty()) timer_.start(0);
}

void FileQueue::waitUntilIdle() {
    if (waiting_) return;
    waiting_ = connect(QAbstractEventDispatcher::instance(),
                       &QAbstractEventDispatcher::aboutToBlock, this, [this] {
                           // Still inside: asked again when the loop next runs dry.
                           if (importing_ || busy_()) return;
                           disconnect(waiting_);
                           waiting_ = {};
                           if (!timer_.isActive()) timer_.start(0);
                       });
}

}  // namespace sorimba::launch
