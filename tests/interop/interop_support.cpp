#include "tests/interop/interop_support.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace mk::dbase::interop {

namespace fs = std::filesystem;

std::string foreignDir()
{
    const char* env = std::getenv("MK_SOURCE_DIR");
    const std::string root = env && *env ? env : MK_INTEROP_SOURCE_DIR;
    return root + "/tests/data/foreign";
}

std::string Scratch::copyForeign(const std::string& name) const
{
    const std::string stem = fs::path(name).stem().string();
    for (const auto& entry : fs::directory_iterator(foreignDir())) {
        if (entry.path().stem().string() == stem)
            fs::copy_file(entry.path(), fs::path(dir()) / entry.path().filename(),
                          fs::copy_options::overwrite_existing);
    }
    return path(name);
}

std::string run(const std::vector<std::string>& argv, int& exitCode)
{
    exitCode = -1;
    int out[2];
    if (::pipe(out) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string text;
    if (rc == 0) {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(out[0], buf, sizeof buf)) > 0)
            text.append(buf, static_cast<size_t>(n));
    }
    ::close(out[0]);
    if (rc != 0)
        return {};
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        exitCode = WEXITSTATUS(status);
    return text;
}

static bool check(const std::vector<std::string>& argv)
{
    if (::access(argv[0].c_str(), X_OK) != 0)
        return false;
    int code = -1;
    run(argv, code);
    return code == 0;
}

bool pythonDbfAvailable()
{
    static const bool ok = check({"/usr/bin/python3", "-c", "import dbf"});
    return ok;
}

bool perlXBaseAvailable()
{
    static const bool ok = check({"/usr/bin/perl", "-MXBase", "-e", "1"});
    return ok;
}

bool perlXBaseIndexAvailable()
{
    static const bool ok = check({"/usr/bin/perl", "-MXBase", "-MXBase::Index", "-e", "1"});
    return ok;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::string cur;
    for (char c : text) {
        if (c == '\n') {
            out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty())
        out.push_back(cur);
    return out;
}

std::string hex(const std::string& bytes)
{
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

FieldDescriptor fieldDesc(const char* name, char type, int length, int decimals)
{
    FieldDescriptor d;
    d.name = name;
    d.type = type;
    d.length = static_cast<uint8_t>(length);
    d.decimals = static_cast<uint8_t>(decimals);
    return d;
}

} // namespace mk::dbase::interop
