#pragma once
// Paragraph conversion: puts every paragraph of a .txt file (or of every
// .txt file of a folder) on one line.
//
// A paragraph is a run of non-empty lines; its lines are joined end to end,
// as bytes, so nothing inside a line changes whatever the file's encoding.
// Each paragraph is written as one line followed by one empty line, every
// line ended by CR LF (LF in a Linux text file, see ParagraphJoiner). Files
// are replaced atomically; read-only files, and anything that is not a
// regular file, are left alone.

#include <QByteArray>
#include <QString>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "files/files.h"

namespace sorimba::convert {

// Converts the bytes of one file, handed over in pieces that may end
// anywhere (even between the CR and the LF of a line end), and hands the
// converted bytes on in pieces. Lines end at CR LF or a lone CR; an LF alone
// is an ordinary byte of its line. Except in a file without any CR that has
// an LF, the way Linux programs write text: there lines end at LF, and the
// file is written back with LF line ends. (Such a file is held whole until
// its end, where that is known; so is any file until its first CR.)
class ParagraphJoiner {
public:
    explicit ParagraphJoiner(std::function<void(std::string_view)> out);
    void feed(std::string_view piece);
    // The end of the file: hands on what is left.
    void finish();
    // After finish(): the converted bytes are the bytes that came in, that
    // is, the file was already converted.
    bool unchanged() const { return same_; }

private:
    void completeLines(std::string_view bytes);
    void line(std::string_view text, std::string_view end);
    void put(std::string_view bytes);
    void paragraphEnd();
    void separator(std::string_view bytes);
    void compareSeparators();

    std::function<void(std::string_view)> out_;
    std::string pending_;           // converted bytes not handed on yet
    std::string carry_;             // the unfinished last line of the pieces so far
    bool first_ = true;             // no paragraph ended yet
    bool current_ = false;          // the paragraph being read has text (already put out)
    bool sawCr_ = false;            // a CR came in: lines end at CR LF or CR
    std::string lineEnd_ = "\r\n";  // the line end written
    // Whether the output equals the input so far: the text of the lines is
    // put out as it stands, so only what stands between two texts (line ends
    // read, line ends written) can differ.
    bool same_ = true;
    std::string endsRead_;
    std::string endsWritten_;
};

// The converted content of a file whose bytes are given.
QByteArray joinParagraphs(std::string_view bytes);

// Converts the file at `path` in place. The file is left untouched when it
// is missing, read-only, not a regular file, or already converted; the
// outcome says whether the file now holds its converted content.
Fault convertFile(const QString& path);

// The .txt files of one folder, as the folder mode converts them.
struct FileList {
    Fault failure;  // why the folder could not be listed
    // Full paths of the regular, non-hidden files whose names end in ".txt"
    // in any letter case (links to regular files count), sorted by name;
    // subfolders are not entered.
    std::vector<QString> paths;
    // Names that match but cannot be represented as a path of this
    // program (not valid in the file-name encoding); they are skipped.
    std::vector<QString> unusableNames;
};
FileList listTextFiles(const QString& folder);

struct FolderOutcome {
    Fault listing;  // why the folder could not be listed
    int converted = 0;
    // Every file that could not be converted (its path in the failure); the
    // others are done anyway.
    std::vector<Failure> failures;
};

// Folder mode: convertFile on each file of listTextFiles(folder), in order.
FolderOutcome convertFolder(const QString& folder);

// One run of the conversion: the file at `path` alone, or every .txt file
// of the folder `path`. The window and sorimba-clip both convert through
// it, so both report the same failures.
enum class Scope { File, Folder };
FolderOutcome convertChosen(const QString& path, Scope scope);

}  // namespace sorimba::convert
