#include "launch/instance.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>
#include <algorithm>
#include <memory>

namespace sorimba::launch {
namespace {

const QByteArray kHeader = QByteArrayLiteral("SORIMBA-OPEN/1\n");
const QByteArray kAnswer = QByteArrayLiteral("OK\n");
constexpr int kMaxClients = 8;

void drop(QLocalSocket* client) {
    client->abort();
    client->deleteLater();
}

// The file at `path` is a socket that this user owns. A socket of another
// user in a shared temporary folder is never spoken to: it could collect
// the names of the files handed to it.
enum class SocketFile { Missing, Ours, Foreign };
SocketFile socketFile(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return SocketFile::Missing;
    if (!S_ISSOCK(st.st_mode) || st.st_uid != ::geteuid()) return SocketFile::Foreign;
    return SocketFile::Ours;
}

// Sends the message and waits for the window's answer, both within the
// given time.
bool handOver(QLocalSocket& socket, const QByteArray& message, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    const auto remaining = [&] { return int(std::max<qint64>(0, timeoutMs - clock.elapsed())); };
    socket.write(message);
    while (socket.bytesToWrite() > 0 && remaining() > 0) {
        if (!socket.waitForBytesWritten(remaining())) break;
    }
    QByteArray answer;
    while (answer.size() < kAnswer.size()) {
        if (socket.bytesAvailable() == 0 &&
            (remaining() == 0 || !socket.waitForReadyRead(remaining())))
            break;
        answer += socket.read(kAnswer.size() - answer.size());
    }
    return answer == kAnswer;
}

}  // namespace

QByteArray encodeMessage(const QStringList& files) {
    if (files.size() > kMaxFiles) return {};
    QByteArray message = kHeader;
    for (const QString& file : files) {
        const QByteArray path = QFile::encodeName(file);
        if (!path.startsWith('/') || path.contains('\0') || path.size() + 1 > kMaxPathBytes)
            return {};
        message += path;
        message += '\0';
    }
    message += '\n';
    if (message.size() > kMaxMessageBytes) return {};
    return message;
}

Decoded decodeMessage(const QByteArray& received) {
    Decoded result;
    const auto invalid = [] { return Decoded{Decoded::State::Invalid, {}}; };
    if (received.size() > kMaxMessageBytes) return invalid();
    const qsizetype headerPart = std::min(received.size(), kHeader.size());
    if (received.left(headerPart) != kHeader.left(headerPart)) return invalid();
    if (received.size() <= kHeader.size()) return result;  // header not yet complete

    qsizetype at = kHeader.size();
    while (at < received.size()) {
        if (received[at] == '\n') {
            if (at + 1 != received.size()) return invalid();  // bytes after the end mark
            result.state = Decoded::State::Complete;
            return result;
        }
        if (received[at] != '/') return invalid();  // only absolute paths
        const qsizetype end = received.indexOf('\0', at);
        if (end < 0) {
            if (received.size() - at >= kMaxPathBytes) return invalid();
            return {};  // the path goes on in the next piece
        }
        if (end - at + 1 > kMaxPathBytes) return invalid();
        const QByteArray bytes = received.mid(at, end - at);
        const QString path = QFile::decodeName(bytes);
        // A name that the file system's encoding cannot carry back unchanged
        // would name another file.
        if (QFile::encodeName(path) != bytes) return invalid();
        if (result.files.size() == kMaxFiles) return invalid();
        result.files << path;
        at = end + 1;
    }
    return {};  // waiting for more paths or the end mark
}

QString socketPath(const QString& settingsFolder, const QString& runtimeFolder) {
    const QByteArray hash =
        QCryptographicHash::hash(QFile::encodeName(settingsFolder), QCryptographicHash::Sha256)
            .toHex()
            .left(20);
    return QDir(runtimeFolder)
        .filePath(QStringLiteral("sorimba-%1-%2.socket")
                      .arg(QString::number(::geteuid()), QString::fromLatin1(hash)));
}

QString runtimeFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime)) {
        struct stat st {};
        if (::stat(QFile::encodeName(runtime).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
            st.st_uid == ::geteuid())
            return runtime;
    }
    return QDir::tempPath();
}

InstanceServer::InstanceServer(QObject* parent) : QObject(parent), server_(new QLocalServer(this)) {
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &InstanceServer::accept);
}

InstanceServer::~InstanceServer() = default;

bool InstanceServer::listen(const QString& path) {
    if (server_->listen(path)) return true;
    if (server_->serverError() != QAbstractSocket::AddressInUseError) return false;
    QLocalServer::removeServer(path);
    return server_->listen(path);
}

QString InstanceServer::path() const {
    return server_->fullServerName();
}

void InstanceServer::close() {
    server_->close();
}

void InstanceServer::accept() {
    while (QLocalSocket* client = server_->nextPendingConnection()) {
        // Every way out ends in deleteLater; the count follows the objects.
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QObject::destroyed, this, [this] { --clients_; });
        ++clients_;
        if (clients_ > kMaxClients) {
            drop(client);
            continue;
        }
        struct Pending {
            QByteArray received;
            bool done = false;
        };
        auto pending = std::make_shared<Pending>();
        auto* timer = new QTimer(client);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, client, [client] { drop(client); });
        const auto onData = [this, client, pending, timer] {
            if (pending->done) return;
            pending->received += client->readAll();
            const Decoded decoded = decodeMessage(pending->received);
            if (decoded.state == Decoded::State::Incomplete) return;
            pending->done = true;
            pending->received.clear();
            timer->stop();
            if (decoded.state == Decoded::State::Invalid) {
                drop(client);
                return;
            }
            client->write(kAnswer);
            client->disconnectFromServer();
            emit opened(decoded.files);
        };
        connect(client, &QLocalSocket::readyRead, this, onData);
        timer->start(clientTimeoutMs);
        if (client->bytesAvailable() > 0) onData();
    }
}

Claim claimOrHandOver(const QString& path, const QStringList& files, InstanceServer& server,
                      int answerTimeoutMs) {
    // A lock left by a killed start is taken over (QLockFile checks whether
    // its process still runs); one held for long by a hung start is not
    // waited for beyond a few seconds.
    QLockFile lock(path + QStringLiteral(".lock"));
    const bool locked = lock.tryLock(3000);

    switch (socketFile(path)) {
        case SocketFile::Foreign:
            return Claim::Alone;
        case SocketFile::Ours: {
            QLocalSocket socket;
            socket.connectToServer(path);
            if (socket.waitForConnected(1000)) {
                const QByteArray message = encodeMessage(files);
                if (message.isEmpty()) return Claim::TooLarge;
                return handOver(socket, message, answerTimeoutMs) ? Claim::HandedOver
                                                                  : Claim::NoAnswer;
            }
            // Nobody listens: the socket of a window that was killed.
            break;
        }
        case SocketFile::Missing:
            break;
    }
    if (!locked) {
        // Another start holds the lock and is becoming the window right now.
        return Claim::Alone;
    }
    return server.listen(path) ? Claim::First : Claim::Alone;
}

}  // namespace sorimba::launch
