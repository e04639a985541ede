// A second process for the engine's multi-process tests.
//
//   engine_peer TABLE COMMAND...
// Commands (each prints "ok" or "locked" or "error <text>" on one line):
//   open shared|exclusive     open and stay open; then read further
//                             commands from standard input, one a line:
//     edit N | set POS TEXT | post | cancel | delete N | append TEXT |
//     count | read N POS | close | quit
//   try shared|exclusive      open, report, exit
//   appendmany N PREFIX       open shared, append N records (text PREFIX+i,
//                             first memo field PREFIX / i), exit
// Exit code 0 unless the command line is wrong.

#include "storage/engine/table.h"

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

using namespace mk::dbase;

namespace {

void reply(const std::string& s)
{
    std::cout << s << std::endl;
}

void replyError(const DatabaseError& e)
{
    reply(e.code() == DatabaseError::Code::Locked ? "locked" : std::string("error ") + e.what());
}

void serve(Table& t)
{
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string cmd;
        in >> cmd;
        try {
            if (cmd == "edit") {
                uint32_t n = 0;
                in >> n;
                if (!t.goToRecno(n))
                    throw DatabaseError("no record " + std::to_string(n));
                t.edit();
                reply("ok");
            } else if (cmd == "set") {
                int pos = 0;
                in >> pos;
                std::string text;
                std::getline(in >> std::ws, text);
                t.setString(pos, text);
                reply("ok");
            } else if (cmd == "post") {
                t.post();
                reply("ok");
            } else if (cmd == "cancel") {
                t.cancel();
                reply("ok");
            } else if (cmd == "delete") {
                uint32_t n = 0;
                in >> n;
                if (!t.goToRecno(n))
                    throw DatabaseError("no record " + std::to_string(n));
                t.deleteRecord();
                reply("ok");
            } else if (cmd == "append") {
                std::string text;
                std::getline(in >> std::ws, text);
                t.append();
                t.setString(0, text);
                t.post();
                reply("ok " + std::to_string(t.recno()));
            } else if (cmd == "count") {
                reply("ok " + std::to_string(t.recordCount()));
            } else if (cmd == "read") {
                uint32_t n = 0;
                int pos = 0;
                in >> n >> pos;
                if (!t.goToRecno(n))
                    throw DatabaseError("no record " + std::to_string(n));
                reply("ok " + t.asString(pos));
            } else if (cmd == "close") {
                t.close();
                reply("ok");
            } else if (cmd == "quit") {
                reply("ok");
                return;
            } else {
                reply("error unknown command");
            }
        } catch (const DatabaseError& e) {
            replyError(e);
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const std::string path = argv[1];
    const std::string cmd = argv[2];
    Table t(path);
    try {
        if (cmd == "open" && argc == 4) {
            t.open(std::string(argv[3]) == "exclusive" ? OpenMode::Exclusive : OpenMode::Shared);
            reply("ok");
            serve(t);
            return 0;
        }
        if (cmd == "try" && argc == 4) {
            t.open(std::string(argv[3]) == "exclusive" ? OpenMode::Exclusive : OpenMode::Shared);
            reply("ok");
            return 0;
        }
        if (cmd == "appendmany" && argc == 5) {
            t.open(OpenMode::Shared);
            const int n = std::stoi(argv[3]);
            int memo = -1;
            for (int i = 0; i < t.fieldCount() && memo < 0; ++i)
                if (t.field(i).type == 'M')
                    memo = i;
            for (int i = 0; i < n; ++i) {
                t.append();
                t.setString(0, std::string(argv[4]) + std::to_string(i));
                if (memo >= 0)
                    t.setMemoLines(memo, {std::string(argv[4]), std::to_string(i)});
                t.post();
            }
            reply("ok");
            return 0;
        }
    } catch (const DatabaseError& e) {
        replyError(e);
        return 0;
    }
    return 2;
}
