#pragma once
// Reading and writing whole files in tests.

#include <gtest/gtest.h>

#include <QFile>
#include <QString>

namespace sorimba::testing {

// The whole content of a file; "<missing>" when it cannot be read, so a
// missing file never compares equal to an empty one.
inline QByteArray slurp(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray("<missing>");
    return f.readAll();
}

// Writes a whole file for a test's setup; fails the test when it cannot.
inline void spit(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

}  // namespace sorimba::testing
