#pragma once

// Helpers of the interoperability tests: a temporary folder with std::string
// paths, fixture copies, running another program and reading its output.

#include "storage/engine/dbf_types.h"
#include "tests/support/scratchfiles.h"

#include <string>
#include <vector>

namespace mk::dbase::interop {

using mk::test::readAll;
using mk::test::writeAll;

class Scratch : public mk::test::ScratchFolder
{
public:
    Scratch()
        : ScratchFolder("mkinterop")
    {}
    // Copies tests/data/foreign/<name> (and any file of the same base name
    // with another extension) into the folder; returns the copied path.
    std::string copyForeign(const std::string& name) const;
};

std::string foreignDir(); // tests/data/foreign

// Runs argv (argv[0] an absolute path) with stdin from /dev/null; returns its
// standard output and sets exitCode (-1 when it could not be started).
std::string run(const std::vector<std::string>& argv, int& exitCode);

// True when the program exists and the check command exits 0 (e.g. the module imports).
bool pythonDbfAvailable(); // /usr/bin/python3 with the dbf module
bool perlXBaseAvailable(); // /usr/bin/perl with XBase
bool perlXBaseIndexAvailable();

// Lines of text, split at LF.
std::vector<std::string> lines(const std::string& text);
// Hex of bytes, two lower-case digits each.
std::string hex(const std::string& bytes);

FieldDescriptor fieldDesc(const char* name, char type, int length, int decimals = 0);

} // namespace mk::dbase::interop
