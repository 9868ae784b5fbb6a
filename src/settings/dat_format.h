#pragma once
// The two settings files, value by value.
//
// data.dat holds one value per line, every line ended by CR LF: outer width
// and height of the window (twips, single-precision), the font name, font
// size (points, at most four decimals) and text colour (colour code) of the
// text area, then one "True"/"False" line per option item in item order.
// data2.dat holds the save path as its one line.
//
// Both files are code page 932. A text that code page 932 cannot hold exactly
// (an emoji folder in the save path, a font whose name has Hangul) would come
// back changed, so such a file is written as UTF-8 behind a byte order mark
// instead. The mark (EF BB BF) cannot begin a file in the code page 932
// layout: data.dat begins with a number, and in code page 932 EF is the lead
// byte of an unassigned row, so no path text begins with it. A file without
// the mark reads exactly as before.

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <cstdint>
#include <optional>
#include <vector>

#include "port/window_settings.h"
#include "settings/settings.h"

namespace sorimba::settings {

// The longest field the field reader takes, counted from its first skipped blank to its
// end. Far beyond any number or font name; a longer field is junk and ends
// the reading, and it keeps a huge file from being read whole.
inline constexpr qsizetype kMaxFieldBytes = 64 * 1024;

// The longest first line of data2.dat taken as a save path (a Linux path is
// at most 4096 bytes); a longer one leaves the save path empty.
inline constexpr qsizetype kMaxPathBytes = 64 * 1024;

inline constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";

// UTF-8 text behind the mark, decoded as it stands: a U+FEFF that begins the
// stored text itself is a character of it, not a second mark to drop.
inline QString fromStoredUtf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder(bytes);
}

// The field reader over the start of a settings file.
//
// A field: blanks (spaces and tabs) are skipped; at the end of the file there
// is no field. A line end right there gives an empty field. A field opened by
// a double quotation mark runs to the next one (commas and blanks included;
// an unclosed one ends at the line end), and the rest of its line up to a
// comma is dropped. Any other field runs to the next comma or line end, its
// trailing blanks dropped. A double quotation mark never becomes part of a
// field. The comma or line end that ends a field is consumed. CR LF, a lone
// CR and a lone LF each end a line.
class FieldReader {
public:
    enum class Status { Field, EndOfFile, TooLong };

    // bytes: the file's content from its start; complete is false when that
    // is only the first part of the file. A leading byte order mark switches
    // the decoding from code page 932 to UTF-8.
    FieldReader(QByteArray bytes, bool complete);

    Status next(QString* field);

    // The line (from 1) on which the last field began, or where the reading
    // stood when there was none.
    int line() const { return fieldLine_; }

    // True when the file carries the UTF-8 mark.
    bool utf8() const { return utf8_; }

private:
    bool atEnd() const { return pos_ >= bytes_.size(); }
    void consumeLineEnd();
    // The field's bytes after an opening quotation mark, or of an unquoted
    // field; *ended tells whether its comma or line end was found. False
    // when the field grows past kMaxFieldBytes from `start`.
    bool readQuoted(qsizetype start, QByteArray* raw, bool* ended);
    bool readUnquoted(qsizetype start, QByteArray* raw, bool* ended);
    // Passes the comma or line end at pos_, if there is one.
    bool endOfField();
    QString decode(const QByteArray& raw) const;

    QByteArray bytes_;
    qsizetype pos_ = 0;
    bool complete_ = true;
    bool utf8_ = false;
    int lineNo_ = 1;
    int fieldLine_ = 1;
};

// Conversions of a field. A number is decimal text: an optional sign, digits
// with at most one "." among or after them, blanks (spaces, tabs) around it
// ignored. No exponent, digit grouping, hexadecimal, "Inf" or "NaN". A value
// outside the target type cannot be converted.
std::optional<float> toSingle(const QString& field);
// Points in ten-thousandths, rounded half to even at the fifth decimal.
std::optional<std::int64_t> toFixed4(const QString& field);
// Rounded half to even to a whole number, which must fit 32 bits.
std::optional<std::int32_t> toInt32(const QString& field);
// "True" or "False" (exactly), or a number: non-zero is on.
std::optional<bool> toYesNo(const QString& field);

// Numbers as the files hold them: a space before a value that is not
// negative, "-" before a negative one, the digits it needs and one space.
QString renderSingle(float value);
QString renderFixed4(std::int64_t tenThousandths);
QString renderInt32(std::int32_t value);
QString renderYesNo(bool on);

// Font size in points to ten-thousandths (half to even); 0 when it is not a
// representable size at all.
std::int64_t fixed4FromPoints(double points);

// One value of data.dat as it was read and applied.
struct DatStep {
    enum class What { Width, Height, FontName, FontSize, Colour, Option };
    enum class Result {
        Applied,     // converted and taken by the window
        Missing,     // the file ends before this field
        TooLong,     // the field is longer than kMaxFieldBytes
        Unreadable,  // the field cannot be converted
        Refused,     // the window or the text area does not take the value
    };
    What what = What::Width;
    int option = -1;  // item index for What::Option
    int line = 0;     // line on which the field began
    QString field;    // the field as read
    QString value;    // the converted value as written back ("7185", "True")
    Result result = Result::Applied;
};

struct DatReport {
    bool opened = false;         // data.dat existed as a regular file and was read
    bool utf8 = false;           // the file is UTF-8 behind the mark
    int valueCount = 0;          // values the file should hold (5 + option items)
    std::vector<DatStep> steps;  // the last one failed unless all were applied
    bool allApplied() const {
        return static_cast<int>(steps.size()) == valueCount &&
               (steps.empty() || steps.back().result == DatStep::Result::Applied);
    }
};

// Reads data.dat at `path` and applies each value to the window at once:
// size, font name, font size, colour, then each option item's check mark
// (without the item's click action). Stops at the first value that is
// missing, cannot be converted, or is not taken; what was applied before
// stays, the rest keep their defaults. Lines after the last option are never
// read. Never throws for any file content.
DatReport applyDataFile(WindowSettings& window, const QString& path);

// The save path held by data2.dat: its first line without the line end. An
// empty or unreadable file, a first line longer than kMaxPathBytes, or one
// holding a NUL gives an empty path; *unreadable, when given, tells whether
// reading the file failed.
QString readSavePath(const QString& dat2Path, bool* unreadable = nullptr);

// The bytes of data.dat for the window's state at this moment.
QByteArray datFileBytes(const WindowSettings& window);

// The bytes of data2.dat for a save path; nothing when the path cannot be
// stored as one line (empty, or holding CR, LF or NUL).
std::optional<QByteArray> dat2FileBytes(const QString& savePath);

// Writes data.dat, and data2.dat when the save path is not empty, each
// replaced atomically, except the files to `keep`. A file that could not be
// written keeps its old content whole; the result names the first one.
StoreResult writeSettings(const WindowSettings& window, const SettingsFiles& files,
                          const QString& savePath, const Unreadable& keep = {});

}  // namespace sorimba::settings
