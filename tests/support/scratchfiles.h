#pragma once

// Plain-C++ file helpers for the engine-level tests, which work with
// std::string paths: a temporary folder removed afterwards, and whole-file
// reads and writes.

#include <string>

namespace mk::test {

class ScratchFolder
{
public:
    // A fresh folder under the system's temporary directory; prefix names it.
    explicit ScratchFolder(const std::string& prefix = "mkscratch");
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string path(const std::string& name) const { return m_dir + "/" + name; }
    const std::string& dir() const { return m_dir; }

private:
    std::string m_dir;
};

std::string readAll(const std::string& path); // empty when missing
void writeAll(const std::string& path, const std::string& bytes);

} // namespace mk::test
