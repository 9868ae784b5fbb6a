// Drops on the window: what each kind of offer holds, and the dropped files
// kept before the program that dragged them deletes them.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QSysInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>

#include "files/files.h"
#include "import/decode.h"
#include "import/import.h"
#include "mail/mailbox.h"
#include "mail/message.h"

namespace sorimba::import {
namespace {

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A line of a URL list: a scheme, a colon and a slash ("file:///tmp/a").
// A message's header line ("From: a") never is one.
bool isUrlLine(QByteArrayView line) {
    const qsizetype colon = line.indexOf(':');
    if (colon < 1 || colon + 1 >= line.size() || line[colon + 1] != '/') return false;
    if (!isAsciiLetter(line[0])) return false;
    return std::all_of(line.begin(), line.begin() + colon, [](char c) {
        return isAsciiLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    });
}

// The path of a file URL of this machine ("file:///p", "file://localhost/p",
// "file:/p"). Mail programs write the path percent-encoded or as it is.
std::optional<QString> localPath(QByteArrayView url) {
    if (url.size() < 5 || url.first(5).toByteArray().toLower() != "file:") return std::nullopt;
    QByteArrayView rest = url.sliced(5);
    if (rest.startsWith("//")) {
        rest = rest.sliced(2);
        const qsizetype slash = rest.indexOf('/');
        if (slash < 0) return std::nullopt;
        const QByteArray host =
            QByteArray::fromPercentEncoding(rest.first(slash).toByteArray()).toLower();
        if (!host.isEmpty() && host != "localhost" &&
            host != QSysInfo::machineHostName().toUtf8().toLower())
            return std::nullopt;
        rest = rest.sliced(slash);
    }
    if (!rest.startsWith('/')) return std::nullopt;
    const QByteArray path = QByteArray::fromPercentEncoding(rest.toByteArray());
    if (path.contains('\0')) return std::nullopt;
    return QFile::decodeName(path);
}

bool isTextFileName(const QString& path) {
    return path.endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive) ||
           path.endsWith(QStringLiteral(".eml"), Qt::CaseInsensitive);
}

// Copies an open file into `into` as `name`. False when it could not be
// copied whole (no room, a read error); nothing is left behind then.
bool copyFile(int fd, const QString& name, const QTemporaryDir& into) {
    QFile out(into.filePath(name));
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return false;
    QByteArray buffer(kPieceBytes, Qt::Uninitialized);
    qint64 offset = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, buffer.data(), size_t(buffer.size()), offset);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) return true;
        if (n < 0 || out.write(buffer.constData(), n) != n || offset + n > kMaxFileBytes) break;
        offset += n;
    }
    out.remove();
    return false;
}

// Where a dropped message file is read from: a copy of its own, as the mail
// program that dragged it deletes it soon; the file itself when it cannot
// be copied (larger than any file read otherwise, no room).
QString keptCopy(int fd, qint64 size, const QString& path, int number,
                 std::shared_ptr<QTemporaryDir>& copies) {
    if (size > kMaxFileBytes) return path;
    if (!copies) {
        auto folder = std::make_shared<QTemporaryDir>(QDir::tempPath() +
                                                      QStringLiteral("/sorimba-drop-XXXXXX"));
        if (!folder->isValid()) return path;
        copies = std::move(folder);
    }
    // Numbered: files of the same name may come from different folders.
    const QString name = QString::number(number) + QLatin1Char('-') + QFileInfo(path).fileName();
    return copyFile(fd, name, *copies) ? copies->filePath(name) : path;
}

// The dropped local files: the mail among them, else the first text file.
Drop readFiles(const QStringList& paths) {
    Drop drop;
    std::shared_ptr<QTemporaryDir> copies;
    std::optional<QString> textFile;
    for (const QString& path : paths) {
        // Opened without waiting: a FIFO must not hold up the drop.
        const files::FileDescriptor file(
            ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        struct stat st {};
        if (file.valid() && ::fstat(file.get(), &st) == 0 && S_ISREG(st.st_mode) &&
            mail::looksLikeMessage(
                FilePieces(file.get(), st.st_size, kMaxFileBytes).firstBytes(kMessageHeadBytes))) {
            drop.files << keptCopy(file.get(), st.st_size, path, int(drop.files.size()), copies);
        } else if (!textFile && isTextFileName(path)) {
            textFile = path;
        }
    }
    if (!drop.files.isEmpty()) {
        drop.kind = Drop::Kind::Messages;
        drop.copies = std::move(copies);
    } else if (textFile) {
        FileImport file = importFile(*textFile);
        drop.kind = Drop::Kind::Text;
        drop.text = std::move(file.text);
    }
    return drop;
}

Drop textDrop(QString text) {
    Drop drop;
    drop.kind = Drop::Kind::Text;
    drop.text = std::move(text);
    return drop;
}

}  // namespace

std::optional<QStringList> localFilesOfUrlList(QByteArrayView bytes) {
    QStringList files;
    bool anyUrl = false;
    while (!bytes.isEmpty()) {
        qsizetype end = bytes.indexOf('\n');
        if (end < 0) end = bytes.size();
        QByteArrayView line = bytes.first(end).trimmed();
        bytes = bytes.sliced(std::min(end + 1, bytes.size()));
        while (line.endsWith('\0')) line.chop(1);
        if (line.isEmpty() || line.startsWith('#')) continue;  // comments, as RFC 2483 allows
        if (!isUrlLine(line)) return std::nullopt;
        anyUrl = true;
        if (std::optional<QString> path = localPath(line)) files << *path;
    }
    if (!anyUrl) return std::nullopt;
    return files;
}

Drop readDrop(const QMimeData& data, const OfferData& offerData) {
    // An offer that cannot be had is as good as an empty one.
    const auto bytesOf = [&](const QString& type) {
        return offerData ? offerData(type).value_or(QByteArray()) : data.data(type);
    };
    const QString messageType = QStringLiteral("message/rfc822");
    if (data.hasFormat(messageType)) {
        const QByteArray bytes = bytesOf(messageType);
        if (const std::optional<QStringList> files = localFilesOfUrlList(bytes)) {
            // Only mail counts here: the other offers may name the files too.
            Drop drop = readFiles(*files);
            if (drop.kind == Drop::Kind::Messages) return drop;
        } else if (!bytes.isEmpty()) {
            FileImport message = importMessage(bytes);
            return textDrop(std::move(message.text));
        }
    }
    const QString urlListType = QStringLiteral("text/uri-list");
    if (data.hasFormat(urlListType)) {
        const std::optional<QStringList> files = localFilesOfUrlList(bytesOf(urlListType));
        // Files decide, even when none of them is of use: their names are
        // no issue text.
        if (files && !files->isEmpty()) return readFiles(*files);
    }
    if (!data.hasText()) return {};
    if (!offerData) return textDrop(importText(data.text()));
    const std::optional<QByteArray> text = offerData(QStringLiteral("text/plain"));
    if (!text) return {};
    return textDrop(importText(QString::fromUtf8(*text)));
}

std::optional<int> countMessages(const QStringList& files) {
    mail::Mailboxes mailboxes;
    if (mailboxes.open(files)) return std::nullopt;
    int count = 0;
    mailboxes.scan([&count](mail::ScannedMessage&&) { ++count; },
                   [](qint64, qint64) { return true; });
    return count;
}

}  // namespace sorimba::import
