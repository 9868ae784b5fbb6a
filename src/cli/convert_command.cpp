// sorimba-clip convert FILE | --folder DIR: the paragraph conversion of the
// "convert" menu, from a shell. As the window, it names what failed.

#include "cli/subcommand.h"
#include "cli/wording.h"
#include "convert/convert.h"

namespace sorimba::cli {
namespace {

const QString kFolder = QStringLiteral("folder");

int run(const Invocation& call) {
    const QStringList files = call.arguments();
    const QStringList folders = call.parser().values(kFolder);
    if (folders.size() > 1) return call.usageError(QStringLiteral("--folder given twice"));
    const bool folderMode = !folders.isEmpty();
    if (folderMode && !files.isEmpty())
        return call.usageError(QStringLiteral("give either FILE or --folder DIR"));
    if (files.size() > 1)
        return call.usageError(QStringLiteral("give one FILE or one --folder DIR"));
    if (!folderMode && files.isEmpty())
        return call.usageError(QStringLiteral("nothing to convert"));
    const QString target = folderMode ? folders[0] : files[0];
    if (target.isEmpty()) return call.usageError(QStringLiteral("empty name"));

    const auto failed = [&call](const QString& path, const QString& why) {
        call.report(path + QStringLiteral(": ") + why);
    };
    const std::optional<QString> path = call.fileName(target);
    if (!path) {
        failed(target, QStringLiteral("the name is not valid in this locale"));
        return 1;
    }

    // The same conversion as the window's, so both report the same failures.
    const convert::FolderOutcome done =
        convert::convertChosen(*path, folderMode ? convert::Scope::Folder : convert::Scope::File);
    if (done.listing) {
        failed(*path, inEnglish(*done.listing));
        return 1;
    }
    for (const Failure& failure : done.failures) failed(failure.path, inEnglish(failure));
    return done.failures.empty() ? 0 : 1;
}

}  // namespace

Subcommand convertCommand() {
    return {QStringLiteral("convert"),
            QStringLiteral("FILE | --folder DIR"),
            QStringLiteral("Joins the lines of each paragraph, as the \"convert\" menu does.\n"
                           "In one file, or in every .txt file of a folder; names each file it "
                           "could not\nconvert."),
            QStringLiteral("  0  every file was converted (or needed no change)\n"
                           "  1  a file or the folder could not be converted (each is named)\n"
                           "  2  usage error\n"),
            [](QCommandLineParser& parser) {
                parser.addOption(QCommandLineOption(
                    kFolder, QStringLiteral("Converts every .txt file of the folder DIR."),
                    QStringLiteral("DIR")));
                parser.addPositionalArgument(QStringLiteral("FILE"),
                                             QStringLiteral("The file to convert, whatever its "
                                                            "name."),
                                             QStringLiteral("[FILE]"));
            },
            run};
}

}  // namespace sorimba::cli
