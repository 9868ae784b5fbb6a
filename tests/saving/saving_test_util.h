#pragma once
// Helpers shared by the saving tests: a scratch folder, raw file bytes, and
// the save command with scripted answers.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include "support/fake_prompts.h"
#include "support/files.h"
#include "window/save_command.h"

namespace sorimba::saving::test {

using sorimba::testing::slurp;
using sorimba::testing::spit;

inline bool exists(const QString& path) {
    struct stat st {};
    return ::lstat(path.toLocal8Bit().constData(), &st) == 0;
}

// Every entry below a folder, hidden ones included, as relative paths.
inline QStringList tree(const QString& folder) {
    QStringList all;
    QDir dir(folder);
    for (const QFileInfo& info :
         dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        all << info.fileName();
        if (info.isDir() && !info.isSymLink())
            for (const QString& inner : tree(info.filePath())) all << info.fileName() + "/" + inner;
    }
    all.sort();
    return all;
}

class SavingTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(tmp.isValid()); }
    QString path(const QString& name) const { return tmp.path() + "/" + name; }

    // The save file is `name` in the scratch folder, the notice switched on
    // and the given text to save.
    void prepare(const QString& name, const QString& clip, bool perTitle = false) {
        state.savePath = name.isEmpty() ? QString() : path(name);
        clipText = clip;
        mode = {perTitle, true};
    }
    // Starts again with no answers, no record and nothing saved.
    void reset() {
        prompts = {};
        state = {};
    }
    void runSave() { saveCommand(prompts, clipText, mode, state); }

    QTemporaryDir tmp;
    testing::FakePrompts prompts;
    SaveState state;
    QString clipText;
    SaveMode mode;
};

}  // namespace sorimba::saving::test
