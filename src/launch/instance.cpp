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
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <memory>

namespace sorimba::launch {
namespace {

const QByteArray kHeader = QByteArrayLiteral("SORIMBA-OPEN/1\n");
// The window's answers: files taken, or declined because too many wait.
const QByteArray kAnswer = QByteArrayLiteral("OK\n");
const QByteArray kFull = QByteArrayLiteral("FULL\n");
// Connections served at once, and how often silent ones are looked for.
constexpr size_t kMaxClients = 8;
constexpr int kSweepMs = 100;

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

// Sends the message and returns the window's answer line, both within the
// given time; empty when none came.
QByteArray handOver(QLocalSocket& socket, const QByteArray& message, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    const auto remaining = [&] { return int(std::max<qint64>(0, timeoutMs - clock.elapsed())); };
    socket.write(message);
    while (socket.bytesToWrite() > 0 && remaining() > 0) {
        if (!socket.waitForBytesWritten(remaining())) break;
    }
    QByteArray answer;
    while (!answer.endsWith('\n') && answer.size() < kFull.size()) {
        if (socket.bytesAvailable() == 0 &&
            (remaining() == 0 || !socket.waitForReadyRead(remaining())))
            break;
        answer += socket.read(1);
    }
    return answer;
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
    // Qt warns on standard error when $XDG_RUNTIME_DIR is unset or unfit;
    // the caller says once what that means for the user.
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    qInstallMessageHandler(previous);
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder)) return {};
    struct stat st {};
    if (::lstat(QFile::encodeName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        st.st_uid != ::geteuid() || (st.st_mode & 077) != 0)
        return {};
    return folder;
}

struct InstanceServer::Client {
    QLocalSocket* socket = nullptr;
    QByteArray received;
    QElapsedTimer connected;
    QElapsedTimer heard;  // since bytes last arrived
};

InstanceServer::InstanceServer(QObject* parent)
    : QObject(parent), server_(new QLocalServer(this)), sweep_(new QTimer(this)) {
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &InstanceServer::accept);
    sweep_->setInterval(kSweepMs);
    connect(sweep_, &QTimer::timeout, this, &InstanceServer::sweep);
}

InstanceServer::~InstanceServer() {
    // The sockets go with the server; nothing of theirs reaches this any more.
    for (const auto& client : clients_) client->socket->disconnect(this);
}

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
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        // A start sends its whole message at once: the client silent the
        // longest makes room, so idle connections never shut a start out.
        if (clients_.size() >= kMaxClients) release(clients_.front()->socket, Release::Drop);
        auto client = std::make_unique<Client>();
        client->socket = socket;
        client->connected.start();
        client->heard.start();
        clients_.push_back(std::move(client));
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::disconnected, this,
                [this, socket] { release(socket, Release::Gone); });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { receive(socket); });
        if (!sweep_->isActive()) sweep_->start();
        if (socket->bytesAvailable() > 0) receive(socket);
    }
}

void InstanceServer::receive(QLocalSocket* socket) {
    const auto found = std::find_if(clients_.begin(), clients_.end(),
                                    [socket](const auto& c) { return c->socket == socket; });
    if (found == clients_.end()) return;
    Client& client = **found;
    client.received += socket->readAll();
    // Kept in the order of who was heard from last.
    client.heard.restart();
    std::rotate(found, found + 1, clients_.end());
    const Decoded decoded = decodeMessage(client.received);
    if (decoded.state == Decoded::State::Incomplete) return;
    if (decoded.state == Decoded::State::Invalid) {
        release(socket, Release::Drop);
        return;
    }
    const bool taken = !admits || admits(decoded.files);
    release(socket, Release::Answered);
    socket->write(taken ? kAnswer : kFull);
    socket->disconnectFromServer();
    if (taken) emit opened(decoded.files);
}

void InstanceServer::release(QLocalSocket* socket, Release how) {
    const auto found = std::find_if(clients_.begin(), clients_.end(),
                                    [socket](const auto& c) { return c->socket == socket; });
    if (found == clients_.end()) return;
    clients_.erase(found);
    socket->disconnect(this);
    if (how == Release::Drop) {
        socket->abort();
        socket->deleteLater();
    }
    if (clients_.empty()) sweep_->stop();
}

void InstanceServer::sweep() {
    std::vector<QLocalSocket*> late;
    for (const auto& client : clients_) {
        if (client->heard.hasExpired(silenceMs) || client->connected.hasExpired(clientTimeoutMs))
            late.push_back(client->socket);
    }
    for (QLocalSocket* socket : late) release(socket, Release::Drop);
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
                const QByteArray answer = handOver(socket, message, answerTimeoutMs);
                if (answer == kAnswer) return Claim::HandedOver;
                return answer == kFull ? Claim::Full : Claim::NoAnswer;
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
