#include "launch/file_queue.h"

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
    if (!files_.empty() && !waiting_ && !timer_.isActive()) timer_.start(0);
}

void FileQueue::resume() {
    if (!waiting_) return;
    waiting_ = false;
    if (!timer_.isActive()) timer_.start(0);
}

void FileQueue::importNext() {
    // An import may itself show a message box, whose event loop would
    // call this again: the next file follows once this one is done.
    if (files_.empty() || importing_) return;
    if (busy_()) {
        waiting_ = true;
        return;
    }
    const QString file = files_.front();
    files_.pop_front();
    importing_ = true;
    import_(file);
    importing_ = false;
    if (!files_.empty()) timer_.start(0);
}

}  // namespace sorimba::launch
