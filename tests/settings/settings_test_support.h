#pragma once

#include "tests/support/fixtures.h"
#include "tests/support/tempdir.h"

#include <QByteArray>
#include <QString>

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

inline QString hex(const QByteArray& b)
{
    return QString::fromLatin1(b.toHex(' '));
}

// A scratch folder per test.
struct TempDirTest : ::testing::Test
{
    TempDir temp;
    QString dir() const { return temp.path(); }
    QString file(const QString& name) const { return temp.file(name); }
    QByteArray read(const QString& name) const { return temp.read(name); }
    void write(const QString& name, const QByteArray& bytes) const
    {
        ASSERT_TRUE(temp.write(name, bytes)) << name.toStdString();
    }
    void copySettingsFixture(const QString& fixture, const QString& name) const
    {
        ASSERT_TRUE(temp.copyFixture(QStringLiteral("settings/") + fixture, name)) << fixture.toStdString();
    }
};

} // namespace mk::test
