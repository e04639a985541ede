#pragma once

// A temporary folder for one test, removed afterwards. It also fixes the
// locale conventions for its lifetime (English by default), so a test never
// depends on the machine's settings.

#include "platform/locale.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace mk::test {

class TempDir
{
public:
    explicit TempDir(const Locale& locale = Locale::english());

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    // path() + "/" + name (name may hold subfolders).
    QString file(const QString& name) const;
    // Creates a subfolder (and its parents); returns its path.
    QString mkdir(const QString& name) const;
    // Writes a file (creating folders); false on failure.
    bool write(const QString& name, const QByteArray& bytes) const;
    // The content of a file, empty when missing.
    QByteArray read(const QString& name) const;
    bool exists(const QString& name) const;
    // Copies a fixture (tests/data/<relative>) into the folder under name.
    bool copyFixture(const QString& relative, const QString& name) const;

private:
    ScopedLocale m_locale;
    QTemporaryDir m_dir;
};

} // namespace mk::test
