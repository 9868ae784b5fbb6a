// sorimba-clip convert FILE | --folder DIR: the paragraph conversion of the
// "convert" menu, from a shell. Unlike the window, it tells what failed.

#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "convert/convert.h"

namespace sorimba::cli {
namespace {

constexpr const char* kConvertUsage = "usage: sorimba-clip convert FILE | --folder DIR\n";

int usage(const char* why) {
    std::fprintf(stderr, "sorimba-clip convert: %s\n%s", why, kConvertUsage);
    return 2;
}

void reportFailure(const QString& path, const QString& why) {
    std::fprintf(stderr, "sorimba-clip convert: %s: %s\n", path.toLocal8Bit().constData(),
                 why.toLocal8Bit().constData());
}

// An argument as a path, or nothing when its bytes do not survive the way
// to a QString and back (they would name another file).
bool toPath(const std::string& arg, QString* path) {
    const QByteArray raw(arg.data(), static_cast<qsizetype>(arg.size()));
    *path = QString::fromLocal8Bit(raw);
    return path->toLocal8Bit() == raw;
}

}  // namespace

int runConvert(const Args& args) {
    bool folderMode = false;
    bool optionsDone = false;
    std::string target;
    bool haveTarget = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsDone && arg == "--") {
            optionsDone = true;
        } else if (!optionsDone && arg == "--folder") {
            if (folderMode) return usage("--folder given twice");
            if (i + 1 >= args.size()) return usage("--folder needs a folder");
            folderMode = true;
            if (haveTarget) return usage("give either FILE or --folder DIR");
            target = args[++i];
            haveTarget = true;
        } else if (!optionsDone && arg.size() > 1 && arg[0] == '-') {
            return usage(("unknown option " + arg).c_str());
        } else {
            if (haveTarget) return usage("give one FILE or one --folder DIR");
            target = arg;
            haveTarget = true;
        }
    }
    if (!haveTarget) return usage("nothing to convert");
    if (target.empty()) return usage("empty name");

    QString path;
    if (!toPath(target, &path)) {
        reportFailure(path, QStringLiteral("the name is not valid in this locale"));
        return 1;
    }

    if (!folderMode) {
        textfile::Outcome done = convert::convertFile(path);
        if (done.ok) return 0;
        reportFailure(path, done.error);
        return 1;
    }

    convert::FolderOutcome done = convert::convertFolder(path);
    if (!done.listed) {
        reportFailure(path, done.error);
        return 1;
    }
    for (const convert::FileFailure& failure : done.failures) {
        reportFailure(failure.path, failure.error);
    }
    return done.failures.empty() ? 0 : 1;
}

}  // namespace sorimba::cli
