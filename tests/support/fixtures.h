#pragma once

// Where tests find their fixture files and the built program folder.

#include <QString>

namespace mk::test {

// The source tree (env MK_SOURCE_DIR when set, else the compiled-in path).
QString sourceDir();
// A fixture: sourceDir() + "/tests/data/" + relative.
QString fixturePath(const QString& relative);
// The built program folder with the shipped files (env MK_PROGRAM_DIR when
// set, else the compiled-in path).
QString programDir();

} // namespace mk::test
