#include "LocalFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kel::platform {
namespace {
constexpr size_t kBufferSize = 64 * 1024;
}

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
    return m_replacement.Open(path, error);
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
    auto* at = static_cast<char*>(buffer);
    read = 0;
    while (read < length) {
        if (m_nBufferAt == m_buffer.size()) {
            m_buffer.resize(kBufferSize);
            size_t got = 0;
            const bool ok = m_file.Read(m_buffer.data(), m_buffer.size(), got);
            m_buffer.resize(ok ? got : 0);
            m_nBufferAt = 0;
            if (!ok) {
                error = errno;
                return false;
            }
            if (got == 0)
                break;
        }
        const size_t take = std::min(length - read, m_buffer.size() - m_nBufferAt);
        std::memcpy(at + read, m_buffer.data() + m_nBufferAt, take);
        m_nBufferAt += take;
        read += take;
    }
    return true;
}

bool CLocalFile::Write(std::string_view bytes, int& error)
{
    return m_replacement.Write(bytes, error);
}

bool CLocalFile::Commit(int& error)
{
    return m_replacement.Commit(error);
}

bool CLocalFile::Close(int& error)
{
    m_replacement.Abandon();
    m_buffer.clear();
    if (m_file.Close())
        return true;
    error = errno;
    return false;
}

} // namespace kel::platform
