// sorimba-clip settings FILE: what a data.dat holds, value by value, as the
// window would apply it at start-up, and where the reading stops.

#include <cstdio>

#include "cli/subcommand.h"
#include "settings/dat_format.h"
#include "settings/settings_record.h"
#include "textfile/textfile.h"

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
// \xNN, and at most 60 characters.
QString quoted(const QString& field) {
    QString out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (out.size() >= 60) {
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

int run(const Invocation& call) {
    const QStringList files = call.arguments();
    if (files.size() != 1) return call.usageError(QStringLiteral("give one FILE"));
    if (files[0].isEmpty()) return call.usageError(QStringLiteral("empty name"));
    const QString path = call.fileName(files[0]).value_or(QString());
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
    }
    return 0;
}

}  // namespace

Subcommand settingsCommand() {
    return {QStringLiteral("settings"),
            QStringLiteral("FILE"),
            QStringLiteral("Shows what a data.dat holds, as the window would apply it.\n"
                           "Value by value, and where the reading stops."),
            QStringLiteral("  0  the file was read (whatever it holds)\n"
                           "  2  usage error, or the file cannot be opened\n"),
            [](QCommandLineParser& parser) {
                parser.addPositionalArgument(QStringLiteral("FILE"),
                                             QStringLiteral("The data.dat to read."));
            },
            run};
}

}  // namespace sorimba::cli
