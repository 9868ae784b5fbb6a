#pragma once
// Inside the import module: the bytes of an issue as a row of pieces, and
// the decoding that turns them into text. A file is read piece by piece into
// one small buffer, so its bytes are never held whole; the text is written
// straight into its final buffer.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <algorithm>
#include <optional>

#include "import/import.h"

namespace sorimba::import {

// Small enough to stay in the processor's cache between reading and decoding.
inline constexpr qsizetype kPieceBytes = qsizetype{256} << 10;

// Enough of a file's start to hold the header block of any mail message.
inline constexpr qsizetype kMessageHeadBytes = kPieceBytes;

class Pieces {
public:
    virtual ~Pieces() = default;
    // How many bytes there will probably be, to size the text.
    virtual qint64 expectedSize() const = 0;
    // Up to the first n bytes (for a byte order mark).
    virtual QByteArray firstBytes(qsizetype n) = 0;
    // The next piece starts at byte `skip` from the start.
    virtual bool restart(qsizetype skip) = 0;
    // The next piece, starting with the last `carried` bytes of the piece
    // before (a character cut off at its end). Nothing when no bytes are
    // left, or when reading failed (failed() says which).
    virtual std::optional<QByteArrayView> next(qsizetype carried) = 0;
    // Whether the piece that next() gave holds the last bytes.
    virtual bool atEnd() const = 0;
    bool failed() const { return error.has_value(); }

    Fault error;  // why reading failed
};

// Bytes already in memory.
class MemoryPieces final : public Pieces {
public:
    // Pieces of pieceBytes (at least 4, the longest cut-off character).
    explicit MemoryPieces(QByteArrayView bytes, qsizetype pieceBytes = kPieceBytes)
        : bytes_(bytes), pieceBytes_(std::max<qsizetype>(pieceBytes, 4)) {}
    qint64 expectedSize() const override { return bytes_.size(); }
    QByteArray firstBytes(qsizetype n) override {
        return bytes_.first(std::min(n, bytes_.size())).toByteArray();
    }
    bool restart(qsizetype skip) override;
    std::optional<QByteArrayView> next(qsizetype carried) override;
    bool atEnd() const override { return done_; }

private:
    QByteArrayView bytes_;
    qsizetype pieceBytes_;
    qsizetype end_ = 0;
    bool done_ = false;
};

// A regular file open for reading, read from its start (again) as asked.
// Reading more than maxBytes fails.
class FilePieces final : public Pieces {
public:
    FilePieces(int fd, qint64 size, qint64 maxBytes);
    qint64 expectedSize() const override { return size_; }
    QByteArray firstBytes(qsizetype n) override;
    bool restart(qsizetype skip) override;
    std::optional<QByteArrayView> next(qsizetype carried) override;
    bool atEnd() const override { return atEnd_; }

private:
    int fd_;
    qint64 size_;
    qint64 maxBytes_;
    qint64 offset_ = 0;  // where the next read starts
    QByteArray buffer_;
    qsizetype filled_ = 0;
    bool atEnd_ = false;
};

// The issue text of a mail message in memory (mail::decodeMessage).
FileImport importMessage(QByteArrayView bytes);

// The text of the pieces, decoded by the rules of `encoding`; nothing when
// reading failed.
std::optional<QString> decode(Pieces& pieces, Encoding encoding);

}  // namespace sorimba::import
