#pragma once
// Helpers shared by the saving tests: a scratch folder, raw file bytes, and a
// scripted form with a save file set.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include "support/fake_form.h"
#include "support/files.h"

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

    // A form whose save file is `name` in the scratch folder, with the
    // notice switched on and the given text in the text area.
    void prepare(const QString& name, const QString& text, bool withTitles = false) {
        form.values().savePath = name.isEmpty() ? QString() : path(name);
        form.setText(text);
        form.setOption(WithTitles, withTitles);
        form.setOption(ConfirmSave, true);
    }

    QTemporaryDir tmp;
    testing::FakeForm form;
};

}  // namespace sorimba::saving::test
