#include "NamedMutex.h"

#include "FileHandle.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

struct CNamedMutex::Shared {
    static constexpr std::uint64_t kMagic = 0x4b656c4d75746578ull; // "KelMutex"
    std::uint64_t magic;
    pthread_mutex_t mutex;
    alignas(8) unsigned char data[CNamedMutex::kSharedDataSize]; // guarded by `mutex`
};

namespace {

bool IsPrivateFolder(const std::string& path)
{
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid()
        && (info.st_mode & 0077) == 0;
}

// $XDG_RUNTIME_DIR when it is the user's own, else /tmp/kel-<uid>, made
// private to the user so that no one else can hold or replace the lock file.
// (Under sudo the variable may still name the invoking user's folder; a lock
// file made there would shut that user out.)
std::string LockFolder()
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        struct stat info {};
        if (stat(runtime, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid() && access(runtime, W_OK) == 0)
            return runtime;
    }
    std::string folder = "/tmp/kel-" + std::to_string(getuid());
    mkdir(folder.c_str(), 0700);
    return IsPrivateFolder(folder) ? folder : std::string();
}

bool InitialiseMutex(pthread_mutex_t* mutex)
{
    pthread_mutexattr_t attributes;
    if (pthread_mutexattr_init(&attributes) != 0)
        return false;
    const bool ok = pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED) == 0
        && pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST) == 0
        && pthread_mutex_init(mutex, &attributes) == 0;
    pthread_mutexattr_destroy(&attributes);
    return ok;
}

// Maps the lock file, making the mutex in it when the file is new. The
// first process to get there initialises it while holding flock, so two
// processes starting together never both initialise it.
template <typename Shared>
Shared* MapLockFile(const std::string& path)
{
    kel::platform::CFileHandle file;
    if (path.empty() || !file.Open(path, O_RDWR | O_CREAT | O_NOFOLLOW, 0600))
        return nullptr;
    const int fd = file.Descriptor();
    while (flock(fd, LOCK_EX) != 0)
        if (errno != EINTR)
            return nullptr;
    Shared* shared = nullptr;
    ULONGLONG size = 0;
    if (file.Size(size) && (size >= sizeof(Shared) || ftruncate(fd, sizeof(Shared)) == 0)) {
        void* memory = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (memory != MAP_FAILED) {
            shared = static_cast<Shared*>(memory);
            if (shared->magic != Shared::kMagic) {
                if (InitialiseMutex(&shared->mutex)) {
                    shared->magic = Shared::kMagic;
                } else {
                    munmap(memory, sizeof(Shared));
                    shared = nullptr;
                }
            }
        }
    }
    flock(fd, LOCK_UN);
    return shared;
}

} // namespace

CNamedMutex::CNamedMutex(const char* name)
{
    const std::string folder = LockFolder();
    if (!folder.empty())
        m_path = folder + "/" + name + ".lock";
    m_shared = MapLockFile<Shared>(m_path);
}

CNamedMutex::~CNamedMutex()
{
    if (m_shared)
        munmap(m_shared, sizeof(Shared));
}

void CNamedMutex::Lock()
{
    m_threads.lock();
    if (m_depth++ != 0)
        return;
    m_owner = std::this_thread::get_id();
    // A holder that died leaves the mutex to us. Whatever it guarded may be
    // cut short; its users look for that themselves (the log does).
    if (m_shared && pthread_mutex_lock(&m_shared->mutex) == EOWNERDEAD)
        pthread_mutex_consistent(&m_shared->mutex);
}

void* CNamedMutex::SharedData()
{
    return m_shared ? m_shared->data : m_ownData;
}

void CNamedMutex::Unlock()
{
    if (--m_depth == 0) {
        m_owner = std::thread::id();
        if (m_shared)
            pthread_mutex_unlock(&m_shared->mutex);
    }
    m_threads.unlock();
}
