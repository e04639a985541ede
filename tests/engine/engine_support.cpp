#include "engine_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace mk::dbase::test {

std::vector<FieldDescriptor> sampleLayout()
{
    auto f = [](const char* name, char type, int len, int dec = 0) {
        FieldDescriptor d;
        d.name = name;
        d.type = type;
        d.length = static_cast<uint8_t>(len);
        d.decimals = static_cast<uint8_t>(dec);
        return d;
    };
    return {f("NAME", 'C', 20), f("QTY", 'N', 5),    f("COST", 'N', 10, 2), f("BOUGHT", 'D', 8),
            f("OPEN", 'L', 1),  f("NOTES", 'M', 10), f("PIC", 'B', 10)};
}

std::string fixture(const std::string& name)
{
    const char* src = std::getenv("MK_SOURCE_DIR");
    return std::string(src ? src : MK_SOURCE_DIR_FALLBACK) + "/tests/data/engine/" + name;
}

void fillSample(Table& t, int n)
{
    for (int i = 1; i <= n; ++i) {
        t.append();
        t.setString(kName, "name" + std::to_string(i));
        t.setNumber(kQty, i);
        t.setMemoLines(kNotes, {"first line " + std::to_string(i), "second line"});
        t.post();
    }
}

Peer::Peer(const std::vector<std::string>& args)
{
    int toChild[2], fromChild[2];
    if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&fa, fromChild[1], 1);
    posix_spawn_file_actions_addclose(&fa, toChild[1]);
    posix_spawn_file_actions_addclose(&fa, fromChild[0]);
    std::vector<std::string> all = {MK_ENGINE_PEER};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, MK_ENGINE_PEER, &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    if (rc != 0)
        throw std::runtime_error("cannot start engine_peer");
    m_pid = pid;
    m_in = toChild[1];
    m_out = fromChild[0];
}

Peer::~Peer()
{
    if (m_in >= 0)
        ::close(m_in);
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0)
        ::close(m_out);
}

std::string Peer::readLine()
{
    for (;;) {
        const size_t nl = m_pending.find('\n');
        if (nl != std::string::npos) {
            std::string line = m_pending.substr(0, nl);
            m_pending.erase(0, nl + 1);
            return line;
        }
        char buf[256];
        const ssize_t n = ::read(m_out, buf, sizeof buf);
        if (n <= 0)
            return {};
        m_pending.append(buf, static_cast<size_t>(n));
    }
}

std::string Peer::send(const std::string& line)
{
    const std::string l = line + "\n";
    if (::write(m_in, l.data(), l.size()) != static_cast<ssize_t>(l.size()))
        return {};
    return readLine();
}

int Peer::wait()
{
    if (m_in >= 0) {
        ::close(m_in);
        m_in = -1;
    }
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string runPeer(const std::vector<std::string>& args)
{
    Peer p(args);
    std::string line = p.readLine();
    p.wait();
    return line;
}

} // namespace mk::dbase::test
