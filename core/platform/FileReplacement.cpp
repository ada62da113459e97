#include "FileReplacement.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kel::platform {
namespace {

constexpr int kNameAttempts = 64;
// How much is written before the disk is asked to start on it.
constexpr unsigned long long kWriteBackStep = 8ull << 20;
// Room left in a file name for the dot, the random part and the suffix.
constexpr size_t kLongestBase = 200;

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a symbolic link leads to, so that the link itself is kept.
std::string WhereLinkLeads(const std::string& path)
{
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

std::string RandomTag()
{
    static thread_local std::mt19937 generator(std::random_device {}());
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string tag(8, '0');
    for (char& c : tag)
        c = kDigits[generator() % (sizeof(kDigits) - 1)];
    return tag;
}

// Flushes the folder, so that the rename survives a power loss. A file
// system that cannot flush a folder has nothing more to do.
void FlushFolder(const std::string& folder)
{
    CFileHandle handle;
    if (handle.Open(folder, O_RDONLY | O_DIRECTORY))
        fsync(handle.Descriptor());
}

} // namespace

bool CFileReplacement::Open(const std::string& target, int& error)
{
    Abandon();
    if (!_OpenTarget(target, error))
        return false;
    if (m_file.IsOpen())
        return true; // written straight
    if (_CreateBeside(error))
        return true;
    Abandon();
    return false;
}

// Opens an existing target without blocking (a pipe without a reader fails
// with ENXIO) and without changing it; a missing one is a new name.
bool CFileReplacement::_OpenTarget(const std::string& target, int& error)
{
    m_final = target;
    if (!m_target.Open(target, O_WRONLY | O_NONBLOCK)) {
        if (errno != ENOENT) {
            error = errno;
            return false;
        }
        m_bExisted = false;
        return true;
    }
    struct stat info {};
    if (fstat(m_target.Descriptor(), &info) != 0) {
        error = errno;
        m_target.Close();
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        const int fd = m_target.Descriptor();
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        m_file = std::move(m_target);
        return true;
    }
    while (flock(m_target.Descriptor(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        error = errno == EWOULDBLOCK ? EBUSY : errno;
        m_target.Close();
        return false;
    }
    m_bExisted = true;
    m_nMode = info.st_mode & 07777;
    m_nOwner = info.st_uid;
    m_nGroup = info.st_gid;
    m_final = WhereLinkLeads(target);
    return true;
}

// A new file in the target's folder. A new target gets the mode the umask
// allows, as a plain create would; a replaced one is private until Commit
// gives it the old file's mode.
bool CFileReplacement::_CreateBeside(int& error)
{
    const std::string prefix = FolderOf(m_final) + "/." + BaseOf(m_final).substr(0, kLongestBase) + ".";
    const unsigned mode = m_bExisted ? 0600 : 0666;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string name = prefix + RandomTag() + ".part";
        if (m_file.Open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, mode)) {
            m_temporary = std::move(name);
            return true;
        }
        if (errno != EEXIST) {
            error = errno;
            return false;
        }
    }
    error = EEXIST;
    return false;
}

bool CFileReplacement::Write(std::string_view bytes, int& error)
{
    if (!m_file.WriteAll(bytes)) {
        error = errno;
        return false;
    }
    m_nWritten += bytes.size();
    // The disk starts on what was written while the transfer goes on, so
    // the flush at Commit has little left to wait for.
    if (!m_temporary.empty() && m_nWritten - m_nStarted >= kWriteBackStep) {
        sync_file_range(m_file.Descriptor(), static_cast<off_t>(m_nStarted), static_cast<off_t>(m_nWritten - m_nStarted),
                        SYNC_FILE_RANGE_WRITE);
        m_nStarted = m_nWritten;
    }
    return true;
}

// On the disk, with the old file's owner and mode (owner first: a change of
// owner clears the set-user-id bit).
bool CFileReplacement::_Settle(int& error)
{
    const int fd = m_file.Descriptor();
    if (fsync(fd) != 0) {
        error = errno;
        return false;
    }
    if (m_bExisted) {
        // Another user's file stays ours, with its group where we may.
        if (fchown(fd, m_nOwner, m_nGroup) != 0 && fchown(fd, static_cast<uid_t>(-1), m_nGroup) != 0) {
        }
        if (fchmod(fd, m_nMode) != 0) {
            error = errno;
            return false;
        }
    }
    if (!m_file.Close()) {
        error = errno;
        return false;
    }
    return true;
}

bool CFileReplacement::Commit(int& error)
{
    error = 0;
    if (!m_file.IsOpen()) {
        error = EBADF;
        return false;
    }
    if (m_temporary.empty()) { // written straight
        const bool closed = m_file.Close();
        error = closed ? 0 : errno;
        Abandon();
        return closed;
    }
    if (!_Settle(error) || ::rename(m_temporary.c_str(), m_final.c_str()) != 0) {
        if (error == 0)
            error = errno;
        Abandon();
        return false;
    }
    m_temporary.clear();
    FlushFolder(FolderOf(m_final));
    Abandon();
    return true;
}

void CFileReplacement::Abandon()
{
    m_file.Close();
    if (!m_temporary.empty())
        ::unlink(m_temporary.c_str());
    m_temporary.clear();
    m_target.Close();
    m_bExisted = false;
    m_nWritten = m_nStarted = 0;
}

} // namespace kel::platform
