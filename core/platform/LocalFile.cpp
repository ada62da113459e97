#include "LocalFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kel::platform {

bool CLocalFile::_Lock(int& error)
{
    while (flock(m_file.Descriptor(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        error = errno == EWOULDBLOCK ? EBUSY : errno;
        m_file.Close();
        return false;
    }
    return true;
}

bool CLocalFile::OpenForReading(const std::string& path, int& error)
{
    if (!m_file.Open(path, O_RDONLY)) {
        error = errno;
        return false;
    }
    // A folder opens like a file but cannot be read: refuse it here, before
    // anything has been started with it.
    struct stat info {};
    if (fstat(m_file.Descriptor(), &info) == 0 && S_ISDIR(info.st_mode)) {
        error = EISDIR;
        m_file.Close();
        return false;
    }
    return _Lock(error);
}

bool CLocalFile::CreateForWriting(const std::string& path, int& error)
{
    // Truncated only once the lock is held, so a file in use keeps its bytes.
    if (!m_file.Open(path, O_WRONLY | O_CREAT, 0666)) {
        error = errno;
        return false;
    }
    if (!_Lock(error))
        return false;
    if (ftruncate(m_file.Descriptor(), 0) != 0) {
        error = errno;
        m_file.Close();
        return false;
    }
    return true;
}

bool CLocalFile::Length(ULONGLONG& length, int& error) const
{
    if (m_file.Size(length))
        return true;
    error = errno;
    return false;
}

bool CLocalFile::Read(void* buffer, size_t length, size_t& read, int& error)
{
    if (m_file.Read(buffer, length, read))
        return true;
    error = errno;
    return false;
}

bool CLocalFile::Write(std::string_view bytes, int& error)
{
    if (m_file.WriteAll(bytes))
        return true;
    error = errno;
    return false;
}

bool CLocalFile::Close(int& error)
{
    if (m_file.Close())
        return true;
    error = errno;
    return false;
}

} // namespace kel::platform
