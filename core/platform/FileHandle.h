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

class KELCORE_API CFileHandle {
public:
    CFileHandle() = default;
    ~CFileHandle() { Close(); }
    CFileHandle(CFileHandle&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    CFileHandle& operator=(CFileHandle&& other) noexcept;
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;

    // `flags` as for open(2); O_CLOEXEC is always added.
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
