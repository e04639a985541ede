#pragma once

// Thin POSIX file layer of the engine: positioned reads and writes that
// either complete or throw DatabaseError, open-file-description byte-range
// locks, and case-insensitive lookup of existing files.

#include <cstddef>
#include <cstdint>
#include <string>

namespace mk::dbase {

class File
{
public:
    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;

    // Opens read-write when possible, else read-only (readOnly() tells).
    void open(const std::string& path, bool mustWrite);
    void create(const std::string& path); // create or truncate, read-write
    void close() noexcept;
    bool isOpen() const { return m_fd >= 0; }
    bool readOnly() const { return m_readOnly; }
    const std::string& path() const { return m_path; }
    int fd() const { return m_fd; }

    uint64_t size() const;
    // Reads up to n bytes; returns how many were read (short at end of file).
    size_t readAt(uint64_t offset, void* buffer, size_t n) const;
    void readExact(uint64_t offset, void* buffer, size_t n) const; // Corrupt when short
    void writeAt(uint64_t offset, const void* buffer, size_t n);
    void truncate(uint64_t size);
    void sync();

    // Non-blocking OFD locks on one byte range; false when someone else
    // holds a conflicting lock.
    bool tryLock(uint64_t offset, uint64_t length, bool exclusive);
    // Retries for up to timeoutMs before giving up (false).
    bool lockWait(uint64_t offset, uint64_t length, bool exclusive, int timeoutMs);
    void unlock(uint64_t offset, uint64_t length) noexcept;

private:
    int m_fd = -1;
    bool m_readOnly = false;
    std::string m_path;
};

// The existing file at `path`, matched case-insensitively in its directory
// when the exact name does not exist; "" when there is none.
std::string findFileNoCase(const std::string& path);
bool fileExists(const std::string& path);
// `path` with its extension (from the last '.' of the file name) replaced.
std::string replaceExtension(const std::string& path, const std::string& ext);
std::string baseName(const std::string& path);          // file name without directory and extension
std::string lowerCaseFileName(const std::string& path); // directory kept, file name lower-cased
void syncDirectoryOf(const std::string& path) noexcept;
void renameFile(const std::string& from, const std::string& to); // DatabaseError on failure
void removeFileIfExists(const std::string& path);

} // namespace mk::dbase
