#pragma once

// Whole-table operations on closed tables. Each throws DatabaseError on
// failure. Operations that rewrite a table (pack, empty) build the new
// files beside the old ones and rename them into place, so a process killed
// midway leaves either the old or the new table whole.

#include "storage/engine/dbf_types.h"

#include <string>
#include <vector>

namespace mk::dbase {

class Table;

// Files of a table, found in any letter case: .dbf (empty when absent),
// .dbt and .mdx (empty when absent).
struct TableFiles
{
    std::string dbf;
    std::string dbt;
    std::string mdx;
};
TableFiles findTableFiles(const std::string& dbfPath);

// Create a new empty table with these fields (offsets are computed). Files
// get lower-case extensions; an existing table of that name is an error
// unless `overwrite`.
void createTable(const std::string& dbfPath, const std::vector<FieldDescriptor>& fields, bool overwrite = false);

// Copy a table (all records, memo values included) to `destPath`. With
// keepIndexes the production index is copied and retargeted; without, the
// copy has no .mdx and its production-index flag is cleared. The source may
// be open shared elsewhere.
void copyTable(const std::string& sourcePath, const std::string& destPath, bool keepIndexes, bool overwrite = true);

// Delete .dbf, .dbt and .mdx. A missing .dbf is NotFound.
void deleteTable(const std::string& dbfPath);

// Rename the table with its memo and index files (lower-case new names).
void renameTable(const std::string& dbfPath, const std::string& newDbfPath);

// Remove every record (needs exclusive use: fails while anyone has it open).
void emptyTable(const std::string& dbfPath);

// Remove deleted records for good and compact the memo file; regenerates
// the production index through the registered provider.
void packTable(const std::string& dbfPath);

// Regenerate the production index (needs exclusive use).
void regenerateIndexes(const std::string& dbfPath);

// Byte-for-byte copy of one file (destination created or truncated).
void copyFile(const std::string& source, const std::string& destination);

} // namespace mk::dbase
