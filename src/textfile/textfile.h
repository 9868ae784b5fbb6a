#pragma once
// Text files as this program keeps them: code page 932 (Shift-JIS as Windows
// writes it) with CR LF line ends. Old content of a user's file is only ever
// handled as bytes, so no byte of it changes when the program appends to or
// rewrites a file.

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sorimba::textfile {

// UTF-16 to code page 932 (glibc iconv "CP932"). A character the code page
// cannot hold, and a lone surrogate, becomes "?".
std::string encodeCp932(std::u16string_view text);
QByteArray toCp932(const QString& text);

// Code page 932 to UTF-16. Each byte that does not start a valid character
// (and a lead byte cut off at the end) becomes U+FFFD; decoding goes on with
// the next byte, so nothing is skipped silently beyond that byte.
std::u16string decodeCp932(std::string_view bytes);
QString fromCp932(const QByteArray& bytes);
// The same, written straight into `out`, which has room for bytes.size()
// code units (no byte gives more than one); returns the units written. With
// `consumed`, bytes may be one piece of many: a lead byte at the very end is
// left for the next piece, and *consumed tells how many bytes were decoded.
std::size_t decodeCp932Into(std::string_view bytes, char16_t* out, std::size_t* consumed = nullptr);

// Splits bytes into lines. A line ends at CR LF or at a lone CR; an LF that
// does not follow a CR is an ordinary character. The last line needs no line
// end, so "A\r\nB" and "A\r\nB\r\n" both give {"A", "B"}; "" gives nothing.
// Neither CR nor LF occurs inside a code page 932 character, so this is exact.
std::vector<std::string_view> splitLines(std::string_view bytes);

// True when the bytes end with a line end (a CR, or CR LF).
bool endsWithLineEnd(std::string_view bytes);

// Cuts UTF-16 text at every CR LF pair: k pairs give k + 1 pieces; an empty
// text gives no pieces at all. A lone CR or LF stays inside its piece.
std::vector<QString> cutAtCrLf(const QString& text);

// Linux programs end lines with LF alone; the program's text (and the
// extraction, which cuts lines at CR) uses CR LF. Every LF that does not
// follow a CR becomes CR LF; everything else stays as it is. Works in place
// when the text is not shared and has room.
QString withCrLfLineEnds(QString text);

// --- Files -------------------------------------------------------------

enum class FileKind { Missing, Regular, Other };

// What is at a path, following symbolic links: nothing, a regular file, or
// something else (a directory, FIFO, socket, device, a dangling link...).
FileKind fileKind(const QString& path);

// A file whose permission bits grant write to nobody is read-only for this
// program, even when it runs as root.
bool isReadOnly(const QString& path);

// Why a file operation failed.
enum class Refusal {
    None,
    NoName,      // an empty path
    NotRegular,  // a directory, FIFO, device... never opened for writing
    ReadOnly,    // no write bit set for anybody
    System,      // the system refused: systemError holds errno
};

struct Outcome {
    bool ok = true;
    QString error;  // why it failed, in words
    Refusal refusal = Refusal::None;
    int systemError = 0;
};

Outcome refused(Refusal why);
Outcome systemFailure(int error);
// A failure the system reported only in words (Qt's file classes).
Outcome failedWith(const QString& why);

// Reads a whole regular file. Fails for anything that is not a regular file.
Outcome readFile(const QString& path, QByteArray* contents);

// Reads at most maxBytes from the start of a regular file (no limit when
// maxBytes is negative), so a huge file is never loaded whole. *complete, when
// given, tells whether that was the whole file. A read error gives no bytes.
Outcome readFileStart(const QString& path, qint64 maxBytes, QByteArray* contents, bool* complete);

// The same for an open descriptor (a file, a pipe such as standard input),
// read from where it stands to its end.
Outcome readFrom(int fd, qint64 maxBytes, QByteArray* contents, bool* complete);

// Asks the system to back a large buffer with large pages (2 MiB). Memory
// touched for the first time is filled in page by page, and on some machines
// (virtual ones especially) each 4 KiB page costs microseconds: for a buffer
// of many megabytes that is about to be filled once, large pages cost a small
// fraction of that. Small buffers are left alone; the advice only ever
// changes speed.
void preferLargePages(void* data, size_t bytes);

// Appends bytes to a regular file in place, creating it when missing. When
// the old content does not end with a line end, CR LF is written first, so
// the old last line stays a line of its own. Old bytes are never rewritten:
// a crash at any moment leaves the old content whole, followed by a prefix
// of the new bytes. Refuses read-only files and anything not regular. The
// bytes are handed to the system, not waited for on the disk: callers that
// write several files flush them all at once with syncFileSystemOf.
Outcome appendToFile(const QString& path, const QByteArray& bytes);

// Waits until everything written to the file system that holds `path` (a
// file or folder) is on the disk.
Outcome syncFileSystemOf(const QString& path);

// Replaces a regular file's content atomically: the new content goes into a
// temporary file in the same folder, which takes the file's place only when
// complete. Permissions are kept, a symbolic link stays a link and its target
// gets the new content. Read-only and non-regular files are refused; with
// mustExist a missing file is refused too (and nothing is created).
Outcome replaceFile(const QString& path, const QByteArray& bytes, bool mustExist);

// --- Large files, piece by piece ------------------------------------------

// Calls fn(line, end) for each line of the bytes, in order: the same lines
// as splitLines, with `end` the line end that closes each ("\r\n" or "\r",
// empty for a last line without one), and no list built.
template <typename Fn>
void forEachLine(std::string_view bytes, Fn&& fn) {
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t cr = bytes.find('\r', start);
        if (cr == std::string_view::npos) {
            fn(bytes.substr(start), std::string_view());
            return;
        }
        size_t next = cr + 1;
        if (next < bytes.size() && bytes[next] == '\n') ++next;
        fn(bytes.substr(start, cr - start), bytes.substr(cr, next - cr));
        start = next;
    }
}

// Reads a regular file from start to end, handing its bytes on in pieces of
// at most pieceSize bytes (a piece may end anywhere, even inside a
// character), so a huge file is never held whole. Fails for anything that is
// not a regular file, and when a read fails part-way.
Outcome readInPieces(const QString& path, const std::function<void(std::string_view)>& consume,
                     size_t pieceSize = size_t{1} << 20);

// A regular file's new content, written in pieces, with the guarantees of
// replaceFile: it goes into a temporary file beside the file and takes the
// file's place only when complete; the permissions are kept and a symbolic
// link stays a link. Anything not put in place is discarded and the file
// keeps its old content.
//
// commit() waits until the content is on the disk and then puts it in place.
// Many files are cheaper together: finish(false) each, flush their file
// system once (syncFileSystemOf), then place() each. A crash before a file
// is placed leaves it whole (and its temporary file beside it).
class Replacement {
public:
    Replacement(const QString& path, bool mustExist);
    ~Replacement();
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    // The first failure so far (refusing the file, creating the temporary
    // file, a write); ok while everything went well.
    const Outcome& status() const { return status_; }
    // Appends bytes to the new content; false once anything has failed.
    bool write(std::string_view bytes);
    // Ends the writing; with flush, waits until the content is on the disk.
    Outcome finish(bool flush);
    // Puts the finished content in the file's place.
    Outcome place();
    // finish(true), then place().
    Outcome commit();

private:
    void fail(int error);

    struct File;
    std::unique_ptr<File> file_;
    Outcome status_;
};

}  // namespace sorimba::textfile
