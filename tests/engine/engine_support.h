#pragma once

// Shared helpers of the engine tests: a small layout, a temporary folder
// as std::string paths, raw file access and a second process to talk to.

#include "storage/engine/table.h"
#include "storage/engine/table_ops.h"
#include "tests/support/scratchfiles.h"

#include <string>
#include <vector>

namespace mk::dbase::test {

// NAME C20, QTY N5, COST N10.2, BOUGHT D, OPEN L, NOTES M, PIC B.
std::vector<FieldDescriptor> sampleLayout();
enum SamplePos { kName = 0, kQty, kCost, kBought, kOpen, kNotes, kPic };

// A fresh temporary folder, removed by the destructor.
class TempFolder : public mk::test::ScratchFolder
{
public:
    TempFolder()
        : ScratchFolder("mkengine")
    {}
};

using mk::test::readAll;
using mk::test::writeAll;
std::string fixture(const std::string& name); // tests/data/engine/<name>

// Appends `n` records "name<i>" with quantity i and a two-line memo.
void fillSample(Table& t, int n);

// engine_peer running as a child process.
class Peer
{
public:
    Peer(const std::vector<std::string>& args);
    ~Peer();
    std::string readLine(); // one reply line ("" when the peer ended)
    std::string send(const std::string& line);
    int wait(); // exit code

private:
    int m_pid = -1;
    int m_in = -1;  // our end of the peer's stdin
    int m_out = -1; // our end of the peer's stdout
    std::string m_pending;
};

// Runs engine_peer to completion and returns its first reply line.
std::string runPeer(const std::vector<std::string>& args);

} // namespace mk::dbase::test
