#include "storage/engine/file_io.h"

#include "storage/engine/dbf_types.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace mk::dbase {

namespace {

std::string errnoText(const std::string& what, const std::string& path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    return true;
}

} // namespace

File::~File()
{
    close();
}

File::File(File&& other) noexcept
    : m_fd(other.m_fd)
    , m_readOnly(other.m_readOnly)
    , m_path(std::move(other.m_path))
{
    other.m_fd = -1;
}

File& File::operator=(File&& other) noexcept
{
    if (this != &other) {
        close();
        m_fd = other.m_fd;
        m_readOnly = other.m_readOnly;
        m_path = std::move(other.m_path);
        other.m_fd = -1;
    }
    return *this;
}

void File::open(const std::string& path, bool mustWrite)
{
    close();
    m_path = path;
    m_readOnly = false;
    m_fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (m_fd < 0 && !mustWrite && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        m_readOnly = true;
    }
    if (m_fd < 0) {
        const auto code = errno == ENOENT ? DatabaseError::Code::NotFound : DatabaseError::Code::Io;
        throw DatabaseError(code, errnoText("Cannot open", path));
    }
    struct stat st
    {};
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close();
        throw DatabaseError(DatabaseError::Code::Io, "Not a regular file: " + path);
    }
}

void File::create(const std::string& path)
{
    close();
    m_path = path;
    m_readOnly = false;
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_fd < 0)
        throw DatabaseError(DatabaseError::Code::Io, errnoText("Cannot create", path));
}

void File::close() noexcept
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

uint64_t File::size() const
{
    struct stat st
    {};
    if (::fstat(m_fd, &st) != 0)
        throw DatabaseError(DatabaseError::Code::Io, errnoText("Cannot read the size of", m_path));
    return static_cast<uint64_t>(st.st_size);
}

size_t File::readAt(uint64_t offset, void* buffer, size_t n) const
{
    size_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < n) {
        const ssize_t r = ::pread(m_fd, p + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            throw DatabaseError(DatabaseError::Code::Io, errnoText("Cannot read", m_path));
        }
        if (r == 0)
            break;
        done += static_cast<size_t>(r);
    }
    return done;
}

void File::readExact(uint64_t offset, void* buffer, size_t n) const
{
    if (readAt(offset, buffer, n) != n)
        throw DatabaseError(DatabaseError::Code::Corrupt, "Unexpected end of file: " + m_path);
}

void File::writeAt(uint64_t offset, const void* buffer, size_t n)
{
    if (m_readOnly)
        throw DatabaseError(DatabaseError::Code::Io, "The file is read-only: " + m_path);
    size_t done = 0;
    const auto* p = static_cast<const char*>(buffer);
    while (done < n) {
        const ssize_t r = ::pwrite(m_fd, p + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            throw DatabaseError(DatabaseError::Code::Io, errnoText("Cannot write", m_path));
        }
        done += static_cast<size_t>(r);
    }
}

void File::truncate(uint64_t newSize)
{
    if (::ftruncate(m_fd, static_cast<off_t>(newSize)) != 0)
        throw DatabaseError(DatabaseError::Code::Io, errnoText("Cannot truncate", m_path));
}

void File::sync()
{
    if (::fdatasync(m_fd) != 0)
        throw DatabaseError(DatabaseError::Code::Io, errnoText("Cannot flush", m_path));
}

bool File::tryLock(uint64_t offset, uint64_t length, bool exclusive)
{
    struct flock fl
    {};
    fl.l_type = static_cast<short>(exclusive ? F_WRLCK : F_RDLCK);
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    fl.l_pid = 0;
    while (::fcntl(m_fd, F_OFD_SETLK, &fl) != 0) {
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EACCES)
            return false;
        throw DatabaseError(DatabaseError::Code::Io, errnoText("Cannot lock", m_path));
    }
    return true;
}

bool File::lockWait(uint64_t offset, uint64_t length, bool exclusive, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int spins = 0;
    while (!tryLock(offset, length, exclusive)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        if (++spins < 50)
            std::this_thread::yield();
        else
            std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return true;
}

void File::unlock(uint64_t offset, uint64_t length) noexcept
{
    if (m_fd < 0)
        return;
    struct flock fl
    {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    ::fcntl(m_fd, F_OFD_SETLK, &fl);
}

bool fileExists(const std::string& path)
{
    struct stat st
    {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string findFileNoCase(const std::string& path)
{
    if (fileExists(path))
        return path;
    namespace fs = std::filesystem;
    const fs::path p(path);
    fs::path dir = p.parent_path();
    if (dir.empty())
        dir = ".";
    const std::string wanted = p.filename().string();
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (equalNoCase(name, wanted) && fileExists(it->path().string()))
            return (p.parent_path().empty() ? fs::path(name) : p.parent_path() / name).string();
    }
    return {};
}

std::string replaceExtension(const std::string& path, const std::string& ext)
{
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path + ext;
    return path.substr(0, dot) + ext;
}

std::string baseName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string lowerCaseFileName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    std::string out = path;
    for (size_t i = slash == std::string::npos ? 0 : slash + 1; i < out.size(); ++i)
        out[i] = asciiLower(out[i]);
    return out;
}

void syncDirectoryOf(const std::string& path) noexcept
{
    const size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void renameFile(const std::string& from, const std::string& to)
{
    if (::rename(from.c_str(), to.c_str()) != 0)
        throw DatabaseError(DatabaseError::Code::Io, errnoText("Cannot rename " + from + " to", to));
}

void removeFileIfExists(const std::string& path)
{
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        throw DatabaseError(DatabaseError::Code::Io, errnoText("Cannot delete", path));
}

} // namespace mk::dbase
