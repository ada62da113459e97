#pragma once

// CFileHandle: an owned POSIX file descriptor. Operations return false and
// leave errno set on failure; the caller decides how to report it.
#include "FileName.h"
#include "KelExport.h"
#include "StringW.h"
#include "Types.h"

#include <string>
#include <string_view>

namespace kel::platform {

// How a file is opened, in the handle's own words, so that code outside the
// platform layer needs no system header. Combine with `|`.
enum class EOpen : unsigned {
    Read = 1,
    Write = 2,
    ReadWrite = Read | Write,
    Append = 4 | Write,   // every write goes to the end
    Create = 8,           // made (with the given permissions) when missing
    Exclusive = 16 | Create, // made, and refused when the name exists
    Truncate = 32,        // emptied when it exists
    NoFollow = 64,        // a symbolic link as the last name is refused
    NonBlocking = 128,    // the open itself never waits (a FIFO, a device)
};
constexpr EOpen operator|(EOpen a, EOpen b)
{
    return static_cast<EOpen>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr bool Has(EOpen mode, EOpen part)
{
    return (static_cast<unsigned>(mode) & static_cast<unsigned>(part)) == static_cast<unsigned>(part);
}

class KELCORE_API CFileHandle {
public:
    CFileHandle() = default;
    ~CFileHandle() { Close(); }
    CFileHandle(CFileHandle&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    CFileHandle& operator=(CFileHandle&& other) noexcept;
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;

    // Opens `path` as `how` says; a created file gets `permissions` less
    // the umask. The descriptor is never inherited by child processes.
    bool Open(const std::string& path, EOpen how, unsigned permissions = 0666);
    // The same with open(2)'s own flags, for the platform layer itself;
    // O_CLOEXEC is always added.
    bool Open(const std::string& path, int flags, unsigned mode = 0666);

    // What OpenRegular found.
    enum class Opened { Yes, Failed, Link, NotRegular };
    // Opens an existing regular file for reading without ever waiting: a
    // FIFO, a device, a socket or a folder is refused before it is opened,
    // and the open itself cannot block. With `followLink` false a symbolic
    // link is refused too. Failed leaves errno set.
    Opened OpenRegular(const std::string& path, bool followLink);
    // The same, for `name` in the open folder `folderFd`.
    bool OpenAt(int folderFd, const std::string& name, int flags, unsigned mode = 0666);
    bool IsOpen() const { return m_fd >= 0; }
    int Descriptor() const { return m_fd; }
    // Closes the descriptor; false (errno set) when the close reported an
    // error such as a delayed write failure.
    bool Close();

    bool Size(ULONGLONG& size) const;
    // True when the open descriptor is a folder (false also when unknown).
    bool IsDirectory() const;
    // True when the open descriptor is a regular file, not a FIFO, device,
    // socket or folder (false also when unknown).
    bool IsRegularFile() const;
    // Reads up to `length` bytes at the current position, retrying short
    // reads until end of file; `read` gets the count.
    bool Read(void* buffer, size_t length, size_t& read);
    // Writes all bytes (retrying short writes).
    bool WriteAll(std::string_view bytes);
    // Which file this is (device and inode) and its size now.
    bool Identity(ULONGLONG& device, ULONGLONG& inode, ULONGLONG& size) const;
    // Reads up to `length` bytes at `offset`, leaving the position alone.
    bool ReadAt(void* buffer, size_t length, ULONGLONG offset, size_t& read);

private:
    int m_fd = -1;
};

} // namespace kel::platform
