// sorimba-clip settings FILE: what a data.dat holds, value by value, as the
// window would apply it at start-up, and where the reading stops; or the
// save path a data2.dat holds.

#include <QFileInfo>
#include <cstdio>

#include "cli/subcommand.h"
#include "files/files.h"
#include "settings/dat_format.h"
#include "settings/settings_record.h"

namespace sorimba::cli {
namespace {

using settings::DatStep;

QString nameOf(const DatStep& step) {
    static const char* const kOptions[] = {"CopyAfterImport", "WithTitles",      "WithVotes",
                                           "WithStaffWord",   "WithAbout",       "AlwaysOnTop",
                                           "JoinLines",       "SaveAfterImport", "ConfirmSave"};
    switch (step.what) {
        case DatStep::What::Width:
            return QStringLiteral("window width");
        case DatStep::What::Height:
            return QStringLiteral("window height");
        case DatStep::What::FontName:
            return QStringLiteral("font name");
        case DatStep::What::FontSize:
            return QStringLiteral("font size");
        case DatStep::What::Colour:
            return QStringLiteral("text colour");
        case DatStep::What::Option:
            break;
    }
    QString name = QStringLiteral("option item %1").arg(step.option);
    if (step.option >= 0 && step.option < kOptionCount) {
        name += QStringLiteral(" ") + QString::fromLatin1(kOptions[step.option]);
    }
    return name;
}

// The applied value in words.
QString shown(const DatStep& step) {
    switch (step.what) {
        case DatStep::What::Width:
        case DatStep::What::Height:
            return step.value + QStringLiteral(" twips");
        case DatStep::What::FontName:
            return QStringLiteral("\"") + step.value + u'"';
        case DatStep::What::FontSize:
            return step.value + QStringLiteral(" points");
        case DatStep::What::Colour: {
            auto code = static_cast<std::uint32_t>(settings::toInt32(step.value).value_or(0));
            if (code & 0x80000000u) {
                return step.value + QStringLiteral(" (system colour %1)").arg(code & 0x7FFFFFFFu);
            }
            return step.value + QStringLiteral(" (RGB %1, %2, %3)")
                                    .arg(code & 0xFF)
                                    .arg((code >> 8) & 0xFF)
                                    .arg((code >> 16) & 0xFF);
        }
        case DatStep::What::Option:
            return step.value == u"True" ? QStringLiteral("checked") : QStringLiteral("unchecked");
    }
    return step.value;
}

// A field as it can be shown on one terminal line: control characters as
// \xNN, and at most `most` characters.
QString quoted(const QString& field, qsizetype most = 60) {
    QString out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (out.size() >= most) {
            out += QStringLiteral("...");
            break;
        }
        char16_t c = field[i].unicode();
        if (c < 0x20 || c == 0x7F) {
            out += QStringLiteral("\\x%1").arg(static_cast<unsigned>(c), 2, 16, QChar(u'0'));
        } else {
            out += field[i];
        }
    }
    return QStringLiteral("'") + out + u'\'';
}

const QString kData = QStringLiteral("data");
const QString kData2 = QStringLiteral("data2");

// data2.dat: the save path on its first line.
int showSavePath(const Invocation& call, const QString& argument, const QString& path) {
    QByteArray start;
    bool complete = false;
    if (files::fileKind(path) != files::FileKind::Regular ||
        files::readFileStart(path, 3, &start, &complete)) {
        call.report(QStringLiteral("cannot open ") + argument);
        return 2;
    }
    print(stdout, QStringLiteral("%1: save path file (data2.dat), %2\n")
                      .arg(path, start.startsWith(settings::kUtf8Mark)
                                     ? QStringLiteral("UTF-8 (byte order mark)")
                                     : QStringLiteral("code page 932")));
    const QString savePath = settings::readSavePath(path);
    if (savePath.isEmpty()) {
        print(stdout, QStringLiteral("no save path: the first line is empty, longer than %1 "
                                     "bytes, or holds a NUL; the window starts without one\n")
                          .arg(settings::kMaxPathBytes));
        return 1;
    }
    print(stdout, QStringLiteral("save path: ") + quoted(savePath, savePath.size() * 4) + u'\n');
    return 0;
}

int run(const Invocation& call) {
    const QStringList files = call.arguments();
    if (files.size() != 1) return call.usageError(QStringLiteral("give one FILE"));
    if (files[0].isEmpty()) return call.usageError(QStringLiteral("empty name"));
    const bool asData = call.parser().isSet(kData);
    const bool asData2 = call.parser().isSet(kData2);
    if (asData && asData2)
        return call.usageError(QStringLiteral("give --data or --data2, not both"));
    const QString path = call.fileName(files[0]).value_or(QString());
    // Which file it is: as told, or else by its name.
    if (asData2 || (!asData && QFileInfo(path).fileName() == u"data2.dat"))
        return showSavePath(call, files[0], path);
    // A window that takes every value; the real one may still refuse a size
    // or font size it cannot show.
    settings::SettingsRecord window;
    settings::DatReport report = settings::applyDataFile(window, path);
    if (!report.opened) {
        call.report(QStringLiteral("cannot open ") + files[0]);
        return 2;
    }

    print(stdout, QStringLiteral("%1: %2\n")
                      .arg(path, report.utf8 ? QStringLiteral("UTF-8 (byte order mark)")
                                             : QStringLiteral("code page 932")));
    const QString stops = QStringLiteral("; reading stops here, the rest keep their defaults\n");
    for (const DatStep& step : report.steps) {
        QString line = QStringLiteral("line %1: %2: ").arg(step.line).arg(nameOf(step));
        switch (step.result) {
            case DatStep::Result::Applied:
                print(stdout, line + shown(step) + u'\n');
                break;
            case DatStep::Result::Missing:
                print(stdout, line + QStringLiteral("missing, the file ends") + stops);
                break;
            case DatStep::Result::TooLong:
                print(stdout,
                      line + QStringLiteral("longer than %1 bytes").arg(settings::kMaxFieldBytes) +
                          stops);
                break;
            case DatStep::Result::Unreadable:
                print(stdout,
                      line + quoted(step.field) + QStringLiteral(" cannot be read") + stops);
                break;
            case DatStep::Result::Refused:
                print(stdout, line + quoted(step.field) + QStringLiteral(" is not taken") + stops);
                break;
        }
    }
    if (report.allApplied()) {
        print(stdout, QStringLiteral("all %1 values read; anything after them is ignored\n")
                          .arg(report.valueCount));
        return 0;
    }
    return 1;  // the reading stopped early
}

}  // namespace

Subcommand settingsCommand() {
    return {QStringLiteral("settings"),
            QStringLiteral("FILE"),
            QStringLiteral("Shows what a data.dat holds, as the window would apply it.\n"
                           "Value by value, and where the reading stops. A file named data2.dat\n"
                           "(or given with --data2) is read as the save path file."),
            QStringLiteral("  0  every value was read (data.dat), or the save path (data2.dat)\n"
                           "  1  the reading stopped early, or data2.dat holds no save path\n"
                           "  2  usage error, or the file cannot be opened\n"),
            [](QCommandLineParser& parser) {
                parser.addOption(QCommandLineOption(
                    kData, QStringLiteral("Reads FILE as a data.dat, whatever its name.")));
                parser.addOption(QCommandLineOption(
                    kData2, QStringLiteral("Reads FILE as a data2.dat, whatever its name.")));
                parser.addPositionalArgument(QStringLiteral("FILE"),
                                             QStringLiteral("The data.dat or data2.dat to read."));
            },
            run};
}

}  // namespace sorimba::cli
