#include "app/core/globals.h"

#include "platform/files.h"

namespace mk {

GlobalState& globals()
{
    static GlobalState state;
    return state;
}

QString GlobalState::publicDataDir() const
{
    return joinPath(DataRoot, PublicDirName);
}

bool GlobalState::IsPublicDataDir(const QString& dir) const
{
    return dir.toUpper() == publicDataDir().toUpper();
}

bool GlobalState::IsReadOnly() const
{
    return AccessLevel == 2 && IsPublicDataDir(DataDir);
}

} // namespace mk
