#pragma once

#include <QString>

namespace mk {

struct GlobalState;

// The program directory: where the executable lies, without a trailing separator.
QString programDirFor(const QString& executablePath);

// True when files can be created in dir (it exists and is writable).
bool isWritableDir(const QString& dir);

// The user's own data folder used as the data root when the program folder
// cannot be written (a system-wide installation): $XDG_DATA_HOME/Marlocket.
QString userDataRoot();

// Moves the data root to userDataRoot() when it is not writable. Returns
// true when it moved.
bool relocateUnwritableDataRoot(GlobalState& g);

// Makes sure the public data directory and its "BACKUP" subdirectory exist;
// "Could not Create Data Directory!" when the backup directory cannot be made.
void EnsureDataDirs(const GlobalState& g);

} // namespace mk
