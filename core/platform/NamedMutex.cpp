#include "NamedMutex.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsPrivateFolder(const std::string& path)
{
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid()
        && (info.st_mode & 0077) == 0;
}

// $XDG_RUNTIME_DIR when it is usable, else /tmp/kel-<uid>, made private to
// the user so that no one else can hold or replace the lock file.
std::string LockFolder()
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        struct stat info {};
        if (stat(runtime, &info) == 0 && S_ISDIR(info.st_mode) && access(runtime, W_OK) == 0)
            return runtime;
    }
    std::string folder = "/tmp/kel-" + std::to_string(getuid());
    mkdir(folder.c_str(), 0700);
    return IsPrivateFolder(folder) ? folder : std::string();
}

} // namespace

CNamedMutex::CNamedMutex(const char* name)
{
    std::string folder = LockFolder();
    if (!folder.empty())
        m_path = folder + "/" + name + ".lock";
    OpenLockFile();
}

CNamedMutex::~CNamedMutex()
{
    if (m_fd >= 0)
        close(m_fd);
}

void CNamedMutex::OpenLockFile()
{
    if (m_fd >= 0)
        close(m_fd);
    m_fd = m_path.empty() ? -1 : open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    m_fdOwner = getpid();
}

void CNamedMutex::LockFile(bool lock)
{
    if (m_fd < 0)
        return;
    struct flock region {};
    region.l_type = lock ? F_WRLCK : F_UNLCK;
    region.l_whence = SEEK_SET;
    // Record locks belong to the process, so threads are kept apart by
    // m_threads and only the outermost Lock of a thread takes the file lock.
    while (fcntl(m_fd, lock ? F_SETLKW : F_SETLK, &region) == -1 && errno == EINTR) {
    }
}

void CNamedMutex::Lock()
{
    m_threads.lock();
    if (m_depth++ == 0) {
        if (m_fdOwner != getpid())
            OpenLockFile();
        LockFile(true);
    }
}

void CNamedMutex::Unlock()
{
    if (--m_depth == 0)
        LockFile(false);
    m_threads.unlock();
}
