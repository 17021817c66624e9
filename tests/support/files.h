#pragma once
// Whole files read and written by tests.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <gtest/gtest.h>

namespace vk::testsupport {

// The file's bytes; "<unreadable>" when it cannot be opened, so a comparison shows it.
inline QByteArray ReadBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return f.readAll();
}

// Writes the file anew; the calling test fails when it cannot.
inline void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size()) << path.toStdString();
}

} // namespace vk::testsupport
