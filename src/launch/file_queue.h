#pragma once
// Files waiting to be imported into the window: those named on the command
// line and those handed over by later starts. They are imported one at a
// time, in order, and never while the window is inside a command, a dialog
// or a menu: a file arriving then waits until the window says it is idle.

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <functional>

namespace sorimba::launch {

class FileQueue : public QObject {
public:
    // `busy` tells whether the window is inside a command or a dialog;
    // `import` imports one file as a drop of that file would.
    FileQueue(std::function<bool()> busy, std::function<void(const QString&)> import,
              QObject* parent = nullptr);

    void add(const QStringList& files);
    int pending() const { return int(files_.size()); }
    // The window has left its dialog, menu or drag: a file that waited for
    // it is imported now (from the event loop).
    void resume();

    // At most this many files wait, however many starts handed them over:
    // each may end in a message box, and a flood of them would only pile up
    // in memory. Files named at start-up are always taken.
    static constexpr int kMaxWaiting = 1000;
    // Whether `count` more files may wait (raising the window always may).
    bool hasRoomFor(qsizetype count) const {
        return count == 0 || qsizetype(files_.size()) + count <= kMaxWaiting;
    }

private:
    void importNext();

    std::function<bool()> busy_;
    std::function<void(const QString&)> import_;
    std::deque<QString> files_;
    QTimer timer_;
    bool importing_ = false;
    bool waiting_ = false;  // for resume()
};

}  // namespace sorimba::launch
