// The ways an issue comes in: files, standard input, the clipboard's text
// and drops.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QList>
#include <cerrno>
#include <cstring>

#include "encoding/encoding.h"
#include "files/files.h"
#include "import/decode.h"
#include "import/import.h"
#include "mail/message.h"
#include "mailimport/mail_import.h"

namespace sorimba::import {
namespace {

FileImport failed(const Failure& why) {
    return FileImport{QString(), std::nullopt, why};
}

FileImport tooLarge(qint64 maxBytes) {
    Failure failure = Failure::of(Failure::Kind::TooLarge);
    failure.limit = maxBytes;
    return failed(failure);
}

FileImport imported(std::optional<QString> text, const Fault& error, const FileOptions& options) {
    if (!text) return failed(error.value_or(Failure::system(EIO)));
    return FileImport{options.bridgeLineEnds ? encoding::withCrLfLineEnds(std::move(*text)) : *text,
                      std::nullopt, std::nullopt};
}

// The issue text of a decoded mail message.
FileImport fromMessage(const mail::Message& message) {
    switch (message.kind) {
        case mail::Message::Kind::Text: {
            // Its column read soundly, or not at all.
            const Fault invalid = mailimport::invalidInColumn(message);
            if (!invalid) return FileImport{message.text, std::nullopt, std::nullopt};
            return failed(*invalid);
        }
        case mail::Message::Kind::NoText:
        case mail::Message::Kind::HtmlOnly:
            return FileImport{QString(), message.problem, std::nullopt};
        case mail::Message::Kind::Broken:
            break;
    }
    return failed(message.problem.value_or(Failure::of(Failure::Kind::NotMessage)));
}

// Reads all of a descriptor into one piece of `buffer`.
bool readAll(int fd, QByteArray& buffer, qsizetype& filled, qint64 offset) {
    while (filled < buffer.size()) {
        const ssize_t n = ::pread(fd, buffer.data() + filled,
                                  static_cast<size_t>(buffer.size() - filled), offset + filled);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        filled += n;
    }
    return true;
}

}  // namespace

FilePieces::FilePieces(int fd, qint64 size, qint64 maxBytes)
    : fd_(fd), size_(size), maxBytes_(maxBytes), buffer_(kPieceBytes, Qt::Uninitialized) {}

QByteArray FilePieces::firstBytes(qsizetype n) {
    QByteArray start(n, Qt::Uninitialized);
    qsizetype filled = 0;
    if (!readAll(fd_, start, filled, 0)) error = Failure::system(errno);
    start.truncate(filled);
    return start;
}

bool FilePieces::restart(qsizetype skip) {
    offset_ = skip;
    filled_ = 0;
    atEnd_ = false;
    return !failed();
}

std::optional<QByteArrayView> FilePieces::next(qsizetype carried) {
    if (atEnd_ || failed()) return std::nullopt;
    std::memmove(buffer_.data(), buffer_.constData() + filled_ - carried, size_t(carried));
    filled_ = carried;
    const qsizetype before = filled_;
    if (!readAll(fd_, buffer_, filled_, offset_ - carried)) {
        error = Failure::system(errno);
        return std::nullopt;
    }
    offset_ += filled_ - before;
    atEnd_ = filled_ < buffer_.size();
    if (offset_ > maxBytes_) {
        error = tooLarge(maxBytes_).failure;
        return std::nullopt;
    }
    if (filled_ == 0) return std::nullopt;
    return QByteArrayView(buffer_.constData(), filled_);
}

FileImport importFile(const QString& path, const FileOptions& options) {
    if (path.isEmpty()) return failed(Failure::of(Failure::Kind::NoName));
    // O_NONBLOCK: a FIFO is opened without waiting for a writer, and then
    // refused like anything else that is not a regular file.
    const files::FileDescriptor file(
        ::open(path.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid()) return failed(Failure::system(errno, path));
    const int fd = file.get();
    struct stat st {};
    FileImport result;
    if (::fstat(fd, &st) != 0) {
        result = failed(Failure::system(errno, path));
    } else if (!S_ISREG(st.st_mode)) {
        result = failed(Failure::of(Failure::Kind::NotRegular, path));
    } else if (options.encoding == Encoding::Detect &&
               mail::looksLikeMessage(
                   FilePieces(fd, st.st_size, options.maxBytes).firstBytes(kMessageHeadBytes))) {
        // Read as a stream from the file again: a large attachment is skipped.
        result = fromMessage(mail::decodeMessageFile(path));
    } else if (st.st_size > options.maxBytes) {
        result = tooLarge(options.maxBytes);
    } else {
        FilePieces pieces(fd, st.st_size, options.maxBytes);
        result = imported(decode(pieces, options.encoding), pieces.error, options);
    }
    return result;
}

FileImport importStream(int fd, const FileOptions& options) {
    // A pipe cannot be read twice, and the first guess of the encoding may
    // be wrong: its bytes are kept.
    QByteArray bytes;
    bool complete = false;
    if (const Fault read = files::readFrom(fd, options.maxBytes, &bytes, &complete))
        return failed(*read);
    if (!complete) return tooLarge(options.maxBytes);
    if (options.encoding == Encoding::Detect && mail::looksLikeMessage(bytes))
        return importMessage(bytes);
    MemoryPieces pieces(bytes);
    std::optional<QString> text = decode(pieces, options.encoding);
    QByteArray().swap(bytes);
    return imported(std::move(text), std::nullopt, options);
}

FileImport importMessage(QByteArrayView bytes) {
    return fromMessage(mail::decodeMessage(bytes));
}

QString decodeIssue(QByteArrayView bytes, Encoding encoding) {
    MemoryPieces pieces(bytes);
    return decode(pieces, encoding).value_or(QString());
}

QString importText(QString text) {
    return encoding::withCrLfLineEnds(std::move(text));
}

}  // namespace sorimba::import
