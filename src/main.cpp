#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdio>
#include <optional>

#include "launch/command_line.h"
#include "launch/file_queue.h"
#include "launch/instance.h"
#include "settings/location.h"
#include "window/main_window.h"

namespace {

void print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

// Hands the files to the window of this settings folder, or makes this
// process that window. When that cannot be told, this one runs on its own
// and says so once.
sorimba::launch::Claim claimWindow(const QString& settingsFolder, const QStringList& files,
                                   sorimba::launch::InstanceServer& server) {
    using sorimba::launch::Claim;
    const QString runtime = sorimba::launch::runtimeFolder();
    if (runtime.isEmpty()) {
        print(stderr, QStringLiteral("sorimba: no private runtime folder for the window's socket; "
                                     "a second start will open a second window\n"));
        return Claim::Alone;
    }
    const QString socket = sorimba::launch::socketPath(settingsFolder, runtime);
    const Claim claim = sorimba::launch::claimOrHandOver(socket, files, server);
    if (claim == Claim::Alone)
        print(stderr, QStringLiteral("sorimba: cannot tell whether another Sorimba window is "
                                     "open (%1); this one runs on its own\n")
                          .arg(socket));
    return claim;
}

// Help, version and usage errors are answered before the window system is
// reached, so they work without a display: the exit status, or nothing when
// the window is to open.
std::optional<int> answerWithoutWindow(const sorimba::launch::CommandLine& line) {
    using sorimba::launch::CommandLine;
    switch (line.action) {
        case CommandLine::Action::PrintHelp:
        case CommandLine::Action::PrintVersion:
            print(stdout, line.output);
            return 0;
        case CommandLine::Action::UsageError:
            print(stderr, line.output);
            return sorimba::launch::kUsageErrorStatus;
        case CommandLine::Action::OpenWindow:
            break;
    }
    return std::nullopt;
}

// The exit status of a start that found another window (or none that
// answers); nothing when this one opens the window.
std::optional<int> exitStatusOf(sorimba::launch::Claim claim) {
    using sorimba::launch::Claim;
    switch (claim) {
        case Claim::HandedOver:
            return 0;
        case Claim::Full:
            print(stderr, QStringLiteral("sorimba: the Sorimba window has too many files waiting; "
                                         "try again once it has imported them\n"));
            return 1;
        case Claim::NoAnswer:
            print(stderr,
                  QStringLiteral("sorimba: a Sorimba window is open but does not answer\n"));
            return 1;
        case Claim::TooLarge:
            print(stderr, QStringLiteral("sorimba: too many files to hand to the open window "
                                         "(at most %1 at once)\n")
                              .arg(sorimba::launch::kMaxFiles));
            return 1;
        case Claim::Alone:
        case Claim::First:
            break;
    }
    return std::nullopt;
}

// Start-up shows the window when it applies the on-top state.
void showWithSettings(sorimba::MainWindow& window, const QString& settingsFolder) {
    if (!settingsFolder.isEmpty()) {
        window.loadSettingsFrom(sorimba::settings::SettingsFiles::in(settingsFolder));
    } else {
        print(stderr, QStringLiteral("sorimba: no home folder: the settings are not kept\n"));
        window.settings().keepOnTop(window.settings().option(sorimba::AlwaysOnTop));
    }
    if (!window.isVisible()) window.show();
}

// The window until it closes, with the files of this start and of later
// ones, each imported as a drop once the window is idle.
int runWindow(const QString& settingsFolder, const QStringList& startFiles,
              sorimba::launch::InstanceServer& server) {
    sorimba::MainWindow window;
    showWithSettings(window, settingsFolder);
    sorimba::launch::FileQueue files([&window] { return window.busy(); },
                                     [&window](const QString& file) { window.importFile(file); });
    QObject::connect(&window, &sorimba::MainWindow::idle, &files,
                     &sorimba::launch::FileQueue::resume);
    server.admits = [&files](const QStringList& handed) { return files.hasRoomFor(handed.size()); };
    QObject::connect(&server, &sorimba::launch::InstanceServer::opened, &window,
                     [&window, &files](const QStringList& handed) {
                         window.bringToFront();
                         files.add(handed);
                     });
    files.add(startFiles);
    // The window has stored its settings when the last window closes.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, &server,
                     &sorimba::launch::InstanceServer::close);
    return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const sorimba::launch::CommandLine line =
        sorimba::launch::parseCommandLine(arguments, QDir::currentPath());
    if (const std::optional<int> status = answerWithoutWindow(line)) return *status;

    // Keeping a window on top needs X11; on a Wayland session the program
    // runs through XWayland unless the user chose a platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");

    // The command line holds only FILEs: Qt must not take one of them for an
    // option of its own (-style, -display...).
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    // The desktop entry's name, which desktops match the window with.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.Sorimba"));
    // Qt's own dialogs (file, colour) in Japanese, like the rest of the program.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_ja"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    const QString settingsFolder = sorimba::settings::settingsFolder(
        QCoreApplication::applicationDirPath(), sorimba::settings::processEnvironment());
    // One window per settings folder: a window already open takes the files.
    sorimba::launch::InstanceServer server;
    if (const std::optional<int> status =
            exitStatusOf(claimWindow(settingsFolder, line.files, server)))
        return *status;
    return runWindow(settingsFolder, line.files, server);
}
