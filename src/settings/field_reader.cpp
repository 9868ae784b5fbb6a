#include <utility>

#include "encoding/encoding.h"
#include "settings/dat_format.h"

namespace sorimba::settings {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}

}  // namespace

FieldReader::FieldReader(QByteArray bytes, bool complete)
    : bytes_(std::move(bytes)), complete_(complete) {
    if (bytes_.startsWith(kUtf8Mark)) {
        utf8_ = true;
        pos_ = 3;
    }
}

void FieldReader::consumeLineEnd() {
    if (atEnd()) return;
    if (bytes_[pos_] == '\r') {
        ++pos_;
        if (!atEnd() && bytes_[pos_] == '\n') ++pos_;
    } else if (bytes_[pos_] == '\n') {
        ++pos_;
    }
    ++lineNo_;
}

QString FieldReader::decode(const QByteArray& raw) const {
    // None of the bytes that delimit a field (blank, quote, comma, CR, LF)
    // occurs inside a code page 932 or UTF-8 character, so cutting the bytes
    // first and decoding each field afterwards is exact.
    return utf8_ ? fromStoredUtf8(raw) : encoding::fromCp932(raw);
}

bool FieldReader::endOfField() {
    if (bytes_[pos_] == ',') {
        ++pos_;
        return true;
    }
    if (isLineEnd(bytes_[pos_])) {
        consumeLineEnd();
        return true;
    }
    return false;
}

bool FieldReader::readQuoted(qsizetype start, QByteArray* raw, bool* ended) {
    ++pos_;  // the opening quotation mark
    bool closed = false;
    while (!atEnd()) {
        const char c = bytes_[pos_];
        if (c == '"') {
            ++pos_;
            closed = true;
            break;
        }
        if (isLineEnd(c)) {  // an unclosed quotation ends with its line
            consumeLineEnd();
            *ended = true;
            return true;
        }
        raw->append(c);
        ++pos_;
        if (pos_ - start > kMaxFieldBytes) return false;
    }
    // The rest of the line up to a comma is dropped.
    while (closed && !atEnd()) {
        if (endOfField()) {
            *ended = true;
            return true;
        }
        ++pos_;
        if (pos_ - start > kMaxFieldBytes) return false;
    }
    return true;
}

bool FieldReader::readUnquoted(qsizetype start, QByteArray* raw, bool* ended) {
    while (!atEnd()) {
        if (endOfField()) {
            *ended = true;
            break;
        }
        if (bytes_[pos_] != '"') raw->append(bytes_[pos_]);
        ++pos_;
        if (pos_ - start > kMaxFieldBytes) return false;
    }
    while (!raw->isEmpty() && isBlank(raw->back())) raw->chop(1);
    return true;
}

FieldReader::Status FieldReader::next(QString* field) {
    field->clear();
    fieldLine_ = lineNo_;
    const qsizetype start = pos_;
    auto tooLong = [&] { return pos_ - start > kMaxFieldBytes; };
    // Running into the end of a file that was read only in part means the
    // field is longer than any that could fit; the cap makes that so.
    auto endStatus = [&] { return complete_ ? Status::EndOfFile : Status::TooLong; };

    while (!atEnd() && isBlank(bytes_[pos_])) {
        ++pos_;
        if (tooLong()) return Status::TooLong;
    }
    if (atEnd()) return endStatus();
    if (isLineEnd(bytes_[pos_])) {
        consumeLineEnd();
        return Status::Field;
    }

    QByteArray raw;
    bool ended = false;  // the comma or line end after the field was found
    const bool fits =
        bytes_[pos_] == '"' ? readQuoted(start, &raw, &ended) : readUnquoted(start, &raw, &ended);
    if (!fits) return Status::TooLong;
    if (!ended && !complete_) return Status::TooLong;
    *field = decode(raw);
    return Status::Field;
}

}  // namespace sorimba::settings
