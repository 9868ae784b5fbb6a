#pragma once
// One window per settings folder. The first start listens on a local socket
// named after its settings folder; a later start with the same folder hands
// its files to that window and ends, so two windows never overwrite each
// other's settings when they close.
//
// The socket lives in a folder of the user's own and admits only the same
// user, and what arrives on it is checked like any input: one message of
// bounded size naming absolute paths only; anything else is dropped
// unanswered. Connections are served side by side, so one that stays silent
// never holds up another.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class QLocalServer;
class QLocalSocket;
class QTimer;

namespace sorimba::launch {

// Limits of one message. A start with more files than this says so and ends.
inline constexpr int kMaxFiles = 1000;
inline constexpr qsizetype kMaxPathBytes = 4096;  // PATH_MAX, terminator included
inline constexpr qsizetype kMaxMessageBytes = qsizetype{1} << 20;

// The message: a header line, then each absolute path in the file system's
// encoding followed by NUL, then a newline where the next path would start
// (a path always starts with "/"). Empty when the files exceed the limits.
QByteArray encodeMessage(const QStringList& files);

struct Decoded {
    enum class State { Incomplete, Complete, Invalid };
    State state = State::Incomplete;
    QStringList files;
};
// Reads what has arrived so far: Incomplete until the end mark, Invalid as
// soon as anything breaks the format or the limits.
Decoded decodeMessage(const QByteArray& received);

// Where the socket of the window using `settingsFolder` lives: in
// `runtimeFolder`, named after the user and a hash of the settings folder.
QString socketPath(const QString& settingsFolder, const QString& runtimeFolder);
// The user's runtime folder: $XDG_RUNTIME_DIR, or without it a folder of
// the user's own in the temporary folder, made if missing. Only a real
// folder (no link) owned by this user that nobody else may enter counts: in
// any other, another user could take the socket's place or its lock. Empty
// when there is none.
QString runtimeFolder();

// The listening side, in the first window.
class InstanceServer : public QObject {
    Q_OBJECT
public:
    explicit InstanceServer(QObject* parent = nullptr);
    ~InstanceServer() override;

    // Listens at `path`, for this user only. A socket file left by a
    // window that was killed is replaced; callers check first that no
    // window answers there (claimOrHandOver does).
    bool listen(const QString& path);
    QString path() const;
    // Stops listening and removes the socket, so that a start from now on
    // opens a window of its own (once this one has stored its settings).
    void close();

    // A client that has not sent a whole message by then is dropped, and
    // so is one that stays silent for silenceMs (a start sends its message
    // at once).
    int clientTimeoutMs = 5000;
    int silenceMs = 1000;

    // Asked before a valid message is answered: false declines its files
    // (too many wait already), and the start is told so. Unset: all taken.
    std::function<bool(const QStringList& files)> admits;

signals:
    // A valid message was taken (files may be empty: only raise the window).
    void opened(const QStringList& files);

private:
    struct Client;
    enum class Release { Drop, Answered, Gone };
    void accept();
    void receive(QLocalSocket* socket);
    // Forgets a client; a dropped one is closed unanswered.
    void release(QLocalSocket* socket, Release how);
    // Drops the clients silent or connected for too long.
    void sweep();

    QLocalServer* server_;
    QTimer* sweep_;
    // Connected clients, the one heard from longest ago first.
    std::vector<std::unique_ptr<Client>> clients_;
};

enum class Claim {
    First,       // this process is the window; `server` listens
    HandedOver,  // a window took the files; this process ends
    Full,        // a window is there, but too many files wait in it already
    NoAnswer,    // a window is there but did not take the files
    TooLarge,    // a window is there, but the files exceed one message
    Alone,       // no socket could be used: run as a window without one
};

// Under a lock beside the socket (so two starts at once do not both become
// the first): hands `files` to the window at `path` if one answers,
// otherwise makes `server` listen there.
Claim claimOrHandOver(const QString& path, const QStringList& files, InstanceServer& server,
                      int answerTimeoutMs = 5000);

}  // namespace sorimba::launch
