#pragma once

// File-name handling and safe file writing shared by every layer.
//
// Data files were named by Windows programs, so names are compared without
// regard to case: "DATA.MDX" and "data.mdx" are the same file. Paths are
// native ('/'-separated on Linux, which Qt also accepts on Windows).

#include <QByteArray>
#include <QString>

#include <optional>

namespace mk {

// dir + separator + name. Backslashes in either part become '/', a trailing
// separator of dir is not doubled, an empty dir yields name alone and an
// absolute name is returned as it is.
QString joinPath(const QString& dir, const QString& name);

// Converts backslashes to '/' (a Windows-style relative or absolute path).
QString nativePath(const QString& path);

// The existing path in dir whose name equals name ignoring case (an exact
// match wins), or an empty string when there is none. name may contain
// subfolders ("help\Index.html"); each part is matched ignoring case.
QString findFileNoCase(const QString& dir, const QString& name);
// Same for a complete path: the folder part is taken as given first, then
// resolved ignoring case when it does not exist as written.
QString findFileNoCase(const QString& path);
bool fileExistsNoCase(const QString& dir, const QString& name);
bool fileExistsNoCase(const QString& path);

// The path to use for a file in dir: the existing file when one matches name
// ignoring case, else joinPath(dir, name). Lets writers replace "DATA.DAT"
// when asked for "data.dat" instead of creating a second file.
QString pathForWriteNoCase(const QString& dir, const QString& name);

// Writes bytes to path through a temporary file in the same folder that is
// flushed to disk and then renamed over path. On any failure the previous
// file stays untouched and false is returned (error gets the reason).
bool writeFileAtomic(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// The whole content of a file, or nullopt when it cannot be opened or read.
std::optional<QByteArray> readFileBytes(const QString& path);

} // namespace mk
