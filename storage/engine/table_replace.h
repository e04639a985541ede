#pragma once

// Replacing a table's files as one step. The new .dbt is written as
// <base>.$$t and the new .dbf as <base>.$$w; once both are complete and
// flushed, <base>.$$w is renamed to <base>.$$f. From then on the new table
// counts as committed: <base>.$$t is renamed over the .dbt, then <base>.$$f
// over the .dbf. A process killed anywhere leaves either the old table
// (work files are discarded at the next open) or a committed replacement
// that the next open finishes.

#include <string>

namespace mk::dbase {

struct ReplaceFiles
{
    std::string dbfWork;  // <base>.$$w
    std::string dbfReady; // <base>.$$f
    std::string dbtWork;  // <base>.$$t
};
ReplaceFiles replaceFilesFor(const std::string& dbfPath);

// Commits prepared work files over `dbfPath` (and `dbtPath` when the table
// has a memo file). DatabaseError on failure.
void commitReplace(const std::string& dbfPath, const std::string& dbtPath, bool withMemo);

// Called by Table::open: finishes a committed replacement (true: the files
// changed, reopen) or discards leftover work files (false).
bool finishInterruptedReplace(const std::string& dbfPath);

} // namespace mk::dbase
