#pragma once

// Shared by the index tests: a temporary folder with std::filesystem paths.

#include "tests/support/scratchfiles.h"

#include <filesystem>
#include <string>

namespace mk::dbase::test {

struct TmpDir : mk::test::ScratchFolder
{
    std::filesystem::path path;
    TmpDir()
        : ScratchFolder("mk_index")
        , path(dir())
    {}
    std::string file(const std::string& n) const { return (path / n).string(); }
};

} // namespace mk::dbase::test
