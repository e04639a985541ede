#pragma once

// The index part of dbftool: list the tags of a table's production index
// and check every tag against the records.

#include <ostream>
#include <string>

namespace mk::dbase {

// A line "(blocks of N bytes)" when the file does not use 1024-byte blocks,
// then one line per tag: name, key expression, key type and length, options
// (descending, unique, "for" and the FOR condition).
// Returns 0, or 1 when the table has no readable production index.
int mdxToolTags(const std::string& dbfPath, std::ostream& out);
// Verifies every tag against the records; prints one line per problem.
// Returns 0 when all is right, 1 otherwise.
int mdxToolCheck(const std::string& dbfPath, std::ostream& out);

} // namespace mk::dbase
