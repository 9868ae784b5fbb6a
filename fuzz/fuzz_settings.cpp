// The settings reader over arbitrary bytes.
// Checked: the field reader ends (each field moves it on, line numbers only
// grow) whether the bytes are the whole file or only its start; applyDataFile over
// the bytes as data.dat never fails other than by stopping, and what it
// leaves in the window is written and read back unchanged (the settings
// survive a close and a start); the save path of data2.dat holds no line end
// or NUL and survives being written and read back.

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/dat_format.h"
#include "support/fake_window_settings.h"

namespace {

using namespace sorimba;
using namespace sorimba::settings;
using sorimba::testing::FakeWindowSettings;

// The settings a window holds, compared after a write and a read.
bool sameSettings(const FakeWindowSettings& a, const FakeWindowSettings& b) {
    for (int i = 0; i < kOptionCount; ++i)
        if (a.option(i) != b.option(i)) return false;
    return a.outerWidth() == b.outerWidth() && a.outerHeight() == b.outerHeight() &&
           a.fontName() == b.fontName() && a.fontSize() == b.fontSize() &&
           a.textColour() == b.textColour();
}

// One folder per process, so parallel fuzzing jobs do not meet.
const QString& folder() {
    static const QString path = [] {
        // Memory-backed when there is such a folder: the files are written
        // on every run.
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                                       : QDir::tempPath();
        std::string pattern = base.toStdString() + "/fuzz_settings.XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        std::atexit([] { QDir(folder()).removeRecursively(); });
        return QString::fromStdString(pattern);
    }();
    return path;
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        std::abort();
    }
}

void readAllFields(const QByteArray& bytes, bool complete) {
    FieldReader losa(bytes, complete);
    QString field;
    int lastLine = 1;
    // Every field takes at least one byte, so there are at most this many.
    for (qsizetype fields = 0;; ++fields) {
        if (fields > bytes.size() + 1) std::abort();  // the reader does not move on
        const FieldReader::Status status = losa.next(&field);
        if (losa.line() < lastLine) std::abort();
        lastLine = losa.line();
        if (status != FieldReader::Status::Field) break;
        if (field.contains(QLatin1Char('"'))) std::abort();
    }
}

// A font name that the line format cannot carry as it is (it is written
// unquoted); the window never offers such names.
bool plainFontName(const QString& name) {
    if (name.contains(QLatin1Char(',')) || name.contains(QLatin1Char('"')) ||
        name.contains(QLatin1Char('\r')) || name.contains(QLatin1Char('\n')))
        return false;
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    return name.isEmpty() || (!blank(name.front()) && !blank(name.back()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    readAllFields(bytes, true);
    readAllFields(bytes, false);

    // data.dat: read, write back, read again.
    const QString dat = folder() + QStringLiteral("/data.dat");
    writeBytes(dat, bytes);
    FakeWindowSettings form;
    form.files.data = dat;
    const DatReport report = applyDataFile(form, form.files.data);
    if (!report.opened || static_cast<int>(report.steps.size()) > report.valueCount) std::abort();
    for (size_t i = 0; i + 1 < report.steps.size(); ++i)
        if (report.steps[i].result != DatStep::Result::Applied) std::abort();

    if (plainFontName(form.fontName())) {
        const QByteArray written = datFileBytes(form);
        writeBytes(dat, written);
        FakeWindowSettings again;
        again.files.data = dat;
        if (!applyDataFile(again, again.files.data).allApplied()) std::abort();
        if (!sameSettings(again, form)) std::abort();
        if (datFileBytes(again) != written) std::abort();
    }

    // data2.dat: the save path.
    const QString dat2 = folder() + QStringLiteral("/data2.dat");
    writeBytes(dat2, bytes);
    const QString savePath = readSavePath(dat2);
    if (savePath.contains(QLatin1Char('\r')) || savePath.contains(QLatin1Char('\n')) ||
        savePath.contains(QChar(0)))
        std::abort();
    if (!savePath.isEmpty()) {
        const std::optional<QByteArray> stored = dat2FileBytes(savePath);
        if (!stored) std::abort();
        writeBytes(dat2, *stored);
        if (readSavePath(dat2) != savePath) std::abort();
    }
    return 0;
}
