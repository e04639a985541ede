#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <initializer_list>

namespace mk::test {

inline QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(char(static_cast<unsigned char>(v)));
    return b;
}

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

inline void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

inline QString fixturePath(const QString& name)
{
    const QByteArray source = qgetenv("MK_SOURCE_DIR");
    return QDir(QString::fromLocal8Bit(source)).filePath(QStringLiteral("tests/data/settings/") + name);
}

inline QString hex(const QByteArray& b)
{
    return QString::fromLatin1(b.toHex(' '));
}

// A scratch directory per test.
struct TempDirTest : ::testing::Test
{
    QTemporaryDir temp;
    QString dir() const { return temp.path(); }
    QString file(const QString& name) const { return QDir(temp.path()).filePath(name); }
};

} // namespace mk::test
