#include <algorithm>
#include <cmath>
#include <limits>

#include "encoding/encoding.h"
#include "files/files.h"
#include "settings/dat_format.h"

namespace sorimba::settings {
namespace {

// More option items than this is no menu of this program; it only bounds
// how much of data.dat is read.
constexpr int kMaxOptionItems = 1000;

int optionItems(const WindowSettings& window) {
    return std::clamp(window.optionCount(), 0, kMaxOptionItems);
}

// Code page 932 when it holds the text exactly, otherwise UTF-8 behind the
// mark (see dat_format.h).
QByteArray encodeSettingsText(const QString& text) {
    QByteArray cp932 = encoding::toCp932(text);
    if (encoding::fromCp932(cp932) == text) return cp932;
    return QByteArray(kUtf8Mark) + text.toUtf8();
}

class DatReader {
public:
    DatReader(WindowSettings& window, FieldReader& fields, DatReport& report)
        : window_(window), fields_(fields), report_(report) {}

    bool width() {
        return readValue<float>(DatStep::What::Width, toSingle, [&](float v) {
            return std::pair{window_.setOuterWidth(v), renderSingle(v).trimmed()};
        });
    }
    bool height() {
        return readValue<float>(DatStep::What::Height, toSingle, [&](float v) {
            return std::pair{window_.setOuterHeight(v), renderSingle(v).trimmed()};
        });
    }
    bool fontName() {
        return readValue<QString>(
            DatStep::What::FontName, [](const QString& f) { return std::optional<QString>(f); },
            [&](const QString& v) {
                return std::pair{window_.setFontName(v), v};
            });
    }
    bool fontSize() {
        return readValue<std::int64_t>(DatStep::What::FontSize, toFixed4, [&](std::int64_t v) {
            return std::pair{window_.setFontSize(static_cast<double>(v) / 10000.0),
                             renderFixed4(v).trimmed()};
        });
    }
    bool colour() {
        return readValue<std::int32_t>(DatStep::What::Colour, toInt32, [&](std::int32_t v) {
            return std::pair{window_.setTextColour(v), renderInt32(v).trimmed()};
        });
    }
    bool option(int index) {
        return readValue<bool>(
            DatStep::What::Option, toYesNo,
            [&](bool v) {
                window_.setOption(index, v);
                return std::pair{true, renderYesNo(v)};
            },
            index);
    }

private:
    // Reads one field, converts it and applies it; records the step.
    template <typename T, typename Convert, typename Apply>
    bool readValue(DatStep::What what, Convert convert, Apply apply, int option = -1) {
        DatStep step;
        step.what = what;
        step.option = option;
        FieldReader::Status status = fields_.next(&step.field);
        step.line = fields_.line();
        if (status != FieldReader::Status::Field) {
            step.result = status == FieldReader::Status::TooLong ? DatStep::Result::TooLong
                                                                 : DatStep::Result::Missing;
        } else if (std::optional<T> value = convert(step.field); !value) {
            step.result = DatStep::Result::Unreadable;
        } else {
            auto [taken, shown] = apply(*value);
            step.value = shown;
            step.result = taken ? DatStep::Result::Applied : DatStep::Result::Refused;
        }
        report_.steps.push_back(step);
        return step.result == DatStep::Result::Applied;
    }

    WindowSettings& window_;
    FieldReader& fields_;
    DatReport& report_;
};

}  // namespace

DatReport applyDataFile(WindowSettings& window, const QString& path) {
    DatReport report;
    if (files::fileKind(path) != files::FileKind::Regular) return report;

    const int items = optionItems(window);
    report.valueCount = 5 + items;
    // Every field is at most kMaxFieldBytes plus its line end, so this much
    // of the file holds every value that can be read.
    const qint64 limit = 3 + static_cast<qint64>(report.valueCount) * (kMaxFieldBytes + 2);
    QByteArray bytes;
    bool complete = false;
    if (files::readFileStart(path, limit, &bytes, &complete)) return report;
    report.opened = true;

    FieldReader fields(std::move(bytes), complete);
    report.utf8 = fields.utf8();
    DatReader read(window, fields, report);
    if (!read.width() || !read.height() || !read.fontName() || !read.fontSize() || !read.colour()) {
        return report;
    }
    for (int i = 0; i < items; ++i) {
        if (!read.option(i)) break;
    }
    return report;
}

QString readSavePath(const QString& dat2Path, bool* unreadable) {
    QByteArray bytes;
    bool complete = false;
    const qint64 limit = 3 + kMaxPathBytes + 2;
    const bool read = !files::readFileStart(dat2Path, limit, &bytes, &complete);
    if (unreadable) *unreadable = !read;
    if (!read) return {};
    bool utf8 = bytes.startsWith(kUtf8Mark);
    QByteArrayView rest(bytes);
    if (utf8) rest = rest.sliced(3);
    qsizetype end = 0;
    while (end < rest.size() && rest[end] != '\r' && rest[end] != '\n') ++end;
    if (end == rest.size() && !complete) return {};  // no line end within the limit
    QByteArray line = rest.first(end).toByteArray();
    if (line.size() > kMaxPathBytes || line.contains('\0')) return {};
    return utf8 ? fromStoredUtf8(line) : encoding::fromCp932(line);
}

QByteArray datFileBytes(const WindowSettings& window) {
    auto single = [](double twips) {
        // A width no float can hold is no window size; write it as 0.
        if (!(std::fabs(twips) <= std::numeric_limits<float>::max())) twips = 0;
        return renderSingle(static_cast<float>(twips));
    };
    QString text;
    const QString crlf = QStringLiteral("\r\n");
    text += single(window.outerWidth()) + crlf;
    text += single(window.outerHeight()) + crlf;
    text += window.fontName() + crlf;
    text += renderFixed4(fixed4FromPoints(window.fontSize())) + crlf;
    text += renderInt32(window.textColour()) + crlf;
    const int items = optionItems(window);
    for (int i = 0; i < items; ++i) text += renderYesNo(window.option(i)) + crlf;
    return encodeSettingsText(text);
}

std::optional<QByteArray> dat2FileBytes(const QString& savePath) {
    if (savePath.isEmpty() || savePath.contains(u'\r') || savePath.contains(u'\n') ||
        savePath.contains(QChar(u'\0'))) {
        return std::nullopt;
    }
    return encodeSettingsText(savePath + QStringLiteral("\r\n"));
}

StoreResult writeSettings(const WindowSettings& window, const SettingsFiles& files,
                          const QString& savePath, const Unreadable& keep) {
    StoreResult result;
    const auto write = [&result](const QString& path, const QByteArray& bytes) {
        const Fault outcome = files::replaceFile(path, bytes, false);
        if (outcome && result.ok()) result = {StoreResult::Failure::File, path, outcome};
    };
    if (!keep.data) write(files.data, datFileBytes(window));
    // A path that cannot be one line leaves the older data2.dat as it is, as
    // an empty one does.
    if (!keep.data2 && !savePath.isEmpty()) {
        if (std::optional<QByteArray> bytes = dat2FileBytes(savePath))
            write(files.data2, *bytes);
        else if (result.ok())
            result = {StoreResult::Failure::File, files.data2, {}};
    }
    return result;
}

}  // namespace sorimba::settings
