#include "FileRewrite.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kel::platform {
namespace {

// How much is written before the disk is asked to start on it, so that the
// sync at Commit has little left to wait for.
constexpr unsigned long long kWriteBackStep = 8ull << 20;
// Room left in a file name for the dot, the number and the suffix.
constexpr size_t kLongestBase = 200;
constexpr int kNameAttempts = 100;

// A name for the temporary file that no other rewrite picks: hidden, and
// unique in this process.
std::string TemporaryName(const std::string& name)
{
    static std::atomic<unsigned> counter { 0 };
    return "." + name.substr(0, kLongestBase) + "." + std::to_string(getpid()) + "-" + std::to_string(counter++)
        + ".kel~";
}

bool SyncDescriptor(int fd)
{
    int result;
    do
        result = fsync(fd);
    while (result != 0 && errno == EINTR);
    return result == 0;
}

// Where `path` leads when its last part is a symbolic link; `path` itself
// otherwise. False (errno set) for a link that leads nowhere.
bool WhereLinkLeads(const std::string& path, std::string& where)
{
    where = path;
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return true;
    char resolved[PATH_MAX];
    if (!realpath(path.c_str(), resolved))
        return false;
    where = resolved;
    return true;
}

} // namespace

CFileRewrite::~CFileRewrite()
{
    Abandon();
}

bool CFileRewrite::_OpenFolder(const std::string& path)
{
    const size_t slash = path.rfind('/');
    m_folderName = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    m_name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (m_name.empty() || m_name == "." || m_name == "..") {
        errno = EISDIR;
        return false;
    }
    do
        m_folder = open(m_folderName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    while (m_folder < 0 && errno == EINTR);
    return m_folder >= 0;
}

CFileHandle::Opened CFileRewrite::Open(const std::string& path)
{
    Abandon();
    m_changed = false;
    m_links = 0;
    std::string where = path;
    if (m_policy.followLink && !WhereLinkLeads(path, where))
        return CFileHandle::Opened::Link; // leads nowhere: the link is kept, not replaced by a file
    if (!_OpenFolder(where))
        return CFileHandle::Opened::Failed;
    struct stat info {};
    if (fstatat(m_folder, m_name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return CFileHandle::Opened::Failed;
    if (S_ISLNK(info.st_mode)) {
        errno = ELOOP;
        return CFileHandle::Opened::Link;
    }
    return S_ISREG(info.st_mode) ? _OpenRegular() : _OpenOther();
}

// A device or a FIFO is never opened unless the policy writes it straight,
// and then without waiting for a reader.
CFileHandle::Opened CFileRewrite::_OpenOther()
{
    if (!m_policy.writeOthersStraight) {
        errno = EINVAL;
        return CFileHandle::Opened::NotRegular;
    }
    if (!m_original.OpenAt(m_folder, m_name, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW))
        return errno == ELOOP ? CFileHandle::Opened::Link : CFileHandle::Opened::Failed;
    struct stat info {};
    const int fd = m_original.Descriptor();
    if (fstat(fd, &info) != 0 || S_ISREG(info.st_mode)) { // replaced by a file meanwhile: not to be overwritten
        m_original.Close();
        errno = EAGAIN;
        return CFileHandle::Opened::Failed;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_straight = true;
    return CFileHandle::Opened::Yes;
}

CFileHandle::Opened CFileRewrite::_OpenRegular()
{
    const int access = m_policy.lockForWriting ? O_WRONLY : O_RDONLY;
    if (!m_original.OpenAt(m_folder, m_name, access | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW))
        return errno == ELOOP ? CFileHandle::Opened::Link : CFileHandle::Opened::Failed;
    struct stat info {};
    if (fstat(m_original.Descriptor(), &info) != 0 || !S_ISREG(info.st_mode)) {
        m_original.Close();
        errno = EINVAL;
        return CFileHandle::Opened::NotRegular;
    }
    if (m_policy.lockForWriting && !_Lock())
        return CFileHandle::Opened::Failed;
    m_links = info.st_nlink;
    m_device = info.st_dev;
    m_inode = info.st_ino;
    m_size = static_cast<unsigned long long>(info.st_size);
    m_modifiedSeconds = info.st_mtim.tv_sec;
    m_modifiedNanoseconds = info.st_mtim.tv_nsec;
    m_mode = info.st_mode & 07777;
    m_owner = info.st_uid;
    m_group = info.st_gid;
    return CFileHandle::Opened::Yes;
}

// Held until the rename, so that two transfers to one file cannot
// interleave; a file another holds fails at once with EBUSY.
bool CFileRewrite::_Lock()
{
    while (flock(m_original.Descriptor(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        m_original.Close();
        errno = error;
        return false;
    }
    return true;
}

bool CFileRewrite::OpenNew(const std::string& path)
{
    Abandon();
    m_changed = false;
    m_links = 0;
    m_new = true;
    return _OpenFolder(path);
}

CFileHandle::Opened CFileRewrite::OpenOrNew(const std::string& path)
{
    const CFileHandle::Opened opened = Open(path);
    if (opened != CFileHandle::Opened::Failed || errno != ENOENT)
        return opened;
    return OpenNew(path) ? CFileHandle::Opened::Yes : CFileHandle::Opened::Failed;
}

std::string CFileRewrite::WrittenName() const
{
    const std::string& name = m_straight ? m_name : m_temporaryName;
    if (name.empty())
        return std::string();
    return (m_folderName == "/" ? "" : m_folderName) + "/" + name;
}

bool CFileRewrite::Begin()
{
    if (m_straight)
        return true; // written as it is
    if (m_folder < 0 || (!m_new && !m_original.IsOpen())) {
        errno = EBADF;
        return false;
    }
    // A replacement starts private and gets the old mode at the end; a new
    // file gets what the umask leaves of 0666.
    // An unnamed file is named at the end through /proc, so it needs /proc.
    const unsigned mode = m_new ? 0666 : 0600;
    const bool unnamed = !m_policy.namedTemporary && access("/proc/self/fd", X_OK) == 0;
    if (unnamed && m_temporary.OpenAt(m_folder, ".", O_TMPFILE | O_WRONLY, mode))
        return true;
    if (unnamed && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return false;
    return _BeginNamed(); // asked for, or a file system without unnamed files, or no /proc
}

bool CFileRewrite::_BeginNamed()
{
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = TemporaryName(m_name);
        const unsigned mode = m_new ? 0666 : 0600;
        if (m_temporary.OpenAt(m_folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, mode)) {
            m_temporaryName = name;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool CFileRewrite::Write(std::string_view bytes)
{
    if (!(m_straight ? m_original : m_temporary).WriteAll(bytes))
        return false;
    m_written += bytes.size();
    // The disk starts on what was written while the writing goes on.
    if (!m_straight && m_written - m_started >= kWriteBackStep) {
        sync_file_range(m_temporary.Descriptor(), static_cast<off_t>(m_started),
                        static_cast<off_t>(m_written - m_started), SYNC_FILE_RANGE_WRITE);
        m_started = m_written;
    }
    return true;
}

bool CFileRewrite::SyncWritten(unsigned long long upTo)
{
    if (m_straight || upTo == 0)
        return true;
    if (!m_temporary.IsOpen()) {
        errno = EBADF;
        return false;
    }
    if (upTo <= m_synced)
        return true;
    const unsigned flags = SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
    if (sync_file_range(m_temporary.Descriptor(), static_cast<off_t>(m_synced), static_cast<off_t>(upTo - m_synced),
            flags) != 0)
        return false;
    m_synced = upTo;
    return true;
}

// The old owner and group where the process may give them (root may; a
// user may give a group it belongs to), then the old mode. Set-user and
// set-group bits are kept only with the owner and group they belong to.
bool CFileRewrite::_GiveOwnerAndMode()
{
    if (m_new)
        return true;
    const int fd = m_temporary.Descriptor();
    if (fchown(fd, m_owner, m_group) != 0)
        fchown(fd, static_cast<uid_t>(-1), m_group);
    struct stat info {};
    if (fstat(fd, &info) != 0)
        return false;
    unsigned mode = m_mode;
    if (info.st_uid != m_owner)
        mode &= ~static_cast<unsigned>(S_ISUID);
    if (info.st_gid != m_group)
        mode &= ~static_cast<unsigned>(S_ISGID);
    return fchmod(fd, mode) == 0;
}

// The old file is still the one under the name, with the content read.
bool CFileRewrite::_StillTheSame()
{
    if (m_new || !m_policy.checkUnchanged)
        return true;
    struct stat now {}, named {};
    m_changed = fstat(m_original.Descriptor(), &now) != 0
        || fstatat(m_folder, m_name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0
        || named.st_dev != m_device || named.st_ino != m_inode
        || static_cast<unsigned long long>(now.st_size) != m_size || now.st_mtim.tv_sec != m_modifiedSeconds
        || now.st_mtim.tv_nsec != m_modifiedNanoseconds;
    if (m_changed)
        errno = EAGAIN;
    return !m_changed;
}

// An unnamed temporary file gets a name just before the rename.
bool CFileRewrite::_NameTemporary()
{
    if (!m_temporaryName.empty())
        return true;
    const std::string self = "/proc/self/fd/" + std::to_string(m_temporary.Descriptor());
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = TemporaryName(m_name);
        if (linkat(AT_FDCWD, self.c_str(), m_folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            m_temporaryName = name;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool CFileRewrite::Commit()
{
    m_changed = false;
    if (m_straight)
        return _CommitStraight();
    if (!m_temporary.IsOpen()) {
        errno = EBADF;
        return false;
    }
    const bool ready = SyncDescriptor(m_temporary.Descriptor()) && _GiveOwnerAndMode() && _StillTheSame()
        && _NameTemporary()
        && renameat(m_folder, m_temporaryName.c_str(), m_folder, m_name.c_str()) == 0;
    if (!ready) {
        const int error = errno;
        Abandon();
        errno = error;
        return false;
    }
    m_temporaryName.clear(); // it is the file's name now
    m_temporary.Close();     // its content is synced already
    // The rename is durable once the folder is. The new content is in place
    // whatever this says, so the rewrite counts as done.
    SyncDescriptor(m_folder);
    Abandon();
    return true;
}

// A device or a FIFO: the close reports a delayed write error.
bool CFileRewrite::_CommitStraight()
{
    const bool closed = m_original.Close();
    const int error = errno;
    Abandon();
    errno = error;
    return closed;
}

void CFileRewrite::_DropTemporary()
{
    m_temporary.Close();
    if (!m_temporaryName.empty() && m_folder >= 0)
        unlinkat(m_folder, m_temporaryName.c_str(), 0);
    m_temporaryName.clear();
}

void CFileRewrite::Abandon()
{
    _DropTemporary();
    m_original.Close(); // and with it the lock
    if (m_folder >= 0)
        close(m_folder);
    m_folder = -1;
    m_new = m_straight = false;
    m_written = m_started = m_synced = 0;
}

} // namespace kel::platform
