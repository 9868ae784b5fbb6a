#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "window/main_window.h"

int main(int argc, char** argv) {
    // Keeping a window on top needs X11; on a Wayland session the program
    // runs through XWayland unless the user chose a platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");

    QApplication app(argc, argv);
    // Qt's own dialogs (file, colour) in Japanese, like the rest of the program.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_ja"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    sorimba::MainWindow window;
    // Start-up shows the window when it applies the on-top state.
    window.loadSettingsFrom(
        sorimba::settings::SettingsFiles::in(QCoreApplication::applicationDirPath()));
    if (!window.isVisible()) window.show();
    return app.exec();
}
