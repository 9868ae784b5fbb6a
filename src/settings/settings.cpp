#include "settings/settings.h"

#include "settings/dat_format.h"
#include "textfile/textfile.h"

namespace sorimba::settings {

void Form_Load(FormPort& form, const QString& programDir) {
    FormValues& values = form.values();
    values.datPath = programDir + QStringLiteral("/data.dat");
    values.dat2Path = programDir + QStringLiteral("/data2.dat");

    // Start-up goes on whatever data.dat holds; what was applied stays.
    try {
        LoDat(form);
    } catch (...) {
    }
    try {
        if (textfile::fileKind(values.dat2Path) == textfile::FileKind::Regular) {
            values.savePath = readSavePath(values.dat2Path);
        }
    } catch (...) {
    }

    form.setTopMost(form.option(AlwaysOnTop) ? 1 : 0);

    DialogSettings& dialog = form.dialog();
    if (!values.savePath.isEmpty()) dialog.fileName = values.savePath;
    dialog.cancelError = true;
    dialog.flags = 4;
    dialog.filter = QStringLiteral("テキストファイル|*.txt|");
}

void Form_QueryUnload(FormPort& form) {
    // The window closes whatever happens here: a settings file that cannot
    // be written keeps its older content, and nothing is asked or shown.
    try {
        writeSettings(form);
    } catch (...) {
    }
}

}  // namespace sorimba::settings
