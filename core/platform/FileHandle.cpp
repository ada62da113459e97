#include "FileHandle.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kel::platform {

CFileHandle& CFileHandle::operator=(CFileHandle&& other) noexcept
{
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

namespace {

int SystemFlags(EOpen how)
{
    int flags = Has(how, EOpen::ReadWrite) ? O_RDWR : Has(how, EOpen::Write) ? O_WRONLY : O_RDONLY;
    const struct {
        EOpen part;
        int flag;
    } kParts[] = {{EOpen::Append, O_APPEND}, {EOpen::Create, O_CREAT}, {EOpen::Exclusive, O_EXCL},
                  {EOpen::Truncate, O_TRUNC}, {EOpen::NoFollow, O_NOFOLLOW}, {EOpen::NonBlocking, O_NONBLOCK | O_NOCTTY}};
    for (const auto& part : kParts)
        if (Has(how, part.part))
            flags |= part.flag;
    return flags;
}

} // namespace

bool CFileHandle::Open(const std::string& path, EOpen how, unsigned permissions)
{
    return Open(path, SystemFlags(how), permissions);
}

bool CFileHandle::Open(const std::string& path, int flags, unsigned mode)
{
    Close();
    do {
        m_fd = open(path.c_str(), flags | O_CLOEXEC, mode);
    } while (m_fd < 0 && errno == EINTR);
    return m_fd >= 0;
}

bool CFileHandle::OpenAt(int folderFd, const std::string& name, int flags, unsigned mode)
{
    Close();
    do {
        m_fd = openat(folderFd, name.c_str(), flags | O_CLOEXEC, mode);
    } while (m_fd < 0 && errno == EINTR);
    return m_fd >= 0;
}

CFileHandle::Opened CFileHandle::OpenRegular(const std::string& path, bool followLink)
{
    Close();
    struct stat before {};
    if ((followLink ? stat(path.c_str(), &before) : lstat(path.c_str(), &before)) != 0)
        return Opened::Failed;
    if (S_ISLNK(before.st_mode))
        return Opened::Link;
    if (!S_ISREG(before.st_mode))
        return Opened::NotRegular; // never opened: opening a FIFO or a device can wait or act
    // O_NONBLOCK: should the name have become a FIFO meanwhile, the open
    // still returns at once.
    if (!Open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | (followLink ? 0 : O_NOFOLLOW)))
        return !followLink && errno == ELOOP ? Opened::Link : Opened::Failed;
    struct stat after {};
    if (fstat(m_fd, &after) != 0 || !S_ISREG(after.st_mode) || after.st_dev != before.st_dev
        || after.st_ino != before.st_ino) {
        Close();
        return Opened::NotRegular;
    }
    return Opened::Yes;
}

bool CFileHandle::Close()
{
    if (m_fd < 0)
        return true;
    const int result = close(m_fd);
    m_fd = -1;
    return result == 0 || errno == EINTR;
}

bool CFileHandle::Size(ULONGLONG& size) const
{
    struct stat info {};
    if (fstat(m_fd, &info) != 0)
        return false;
    size = static_cast<ULONGLONG>(info.st_size);
    return true;
}

bool CFileHandle::IsDirectory() const
{
    struct stat info {};
    return fstat(m_fd, &info) == 0 && S_ISDIR(info.st_mode);
}

bool CFileHandle::IsRegularFile() const
{
    struct stat info {};
    return fstat(m_fd, &info) == 0 && S_ISREG(info.st_mode);
}

bool CFileHandle::Read(void* buffer, size_t length, size_t& read)
{
    read = 0;
    auto* at = static_cast<char*>(buffer);
    while (read < length) {
        const ssize_t got = ::read(m_fd, at + read, length - read);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            break;
        read += static_cast<size_t>(got);
    }
    return true;
}

bool CFileHandle::WriteAll(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t put = ::write(m_fd, bytes.data(), bytes.size());
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(put));
    }
    return true;
}

bool CFileHandle::Identity(ULONGLONG& device, ULONGLONG& inode, ULONGLONG& size) const
{
    struct stat info {};
    if (fstat(m_fd, &info) != 0)
        return false;
    device = static_cast<ULONGLONG>(info.st_dev);
    inode = static_cast<ULONGLONG>(info.st_ino);
    size = static_cast<ULONGLONG>(info.st_size);
    return true;
}

bool CFileHandle::ReadAt(void* buffer, size_t length, ULONGLONG offset, size_t& read)
{
    ssize_t got;
    do {
        got = pread(m_fd, buffer, length, static_cast<off_t>(offset));
    } while (got < 0 && errno == EINTR);
    read = got > 0 ? static_cast<size_t>(got) : 0;
    return got >= 0;
}

} // namespace kel::platform
