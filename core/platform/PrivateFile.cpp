#include "PrivateFile.h"

#include "FileHandle.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kel::platform {

PrivateFileStatus ReadPrivateFile(const std::string& path, std::string& bytes)
{
    bytes.clear();
    CFileHandle file;
    // Non-blocking: opening a FIFO put in the file's place must not wait
    // for a writer. The checks below are made on what was opened.
    if (!file.Open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY))
        return errno == ENOENT ? PrivateFileStatus::Missing : PrivateFileStatus::Failed;
    struct stat status {};
    if (fstat(file.Descriptor(), &status) != 0)
        return PrivateFileStatus::Failed;
    if (!S_ISREG(status.st_mode))
        return PrivateFileStatus::NotAFile;
    if (status.st_uid != geteuid() || (status.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return PrivateFileStatus::OpenToOthers;
    if (static_cast<unsigned long long>(status.st_size) > kPrivateFileLimit) {
        errno = EFBIG;
        return PrivateFileStatus::Failed;
    }
    bytes.resize(static_cast<size_t>(status.st_size));
    size_t read = 0;
    if (!file.Read(bytes.data(), bytes.size(), read))
        return PrivateFileStatus::Failed;
    bytes.resize(read);
    return PrivateFileStatus::Read;
}

std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    passwd entry {};
    passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(geteuid(), &entry, buffer, sizeof(buffer), &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return {};
}

} // namespace kel::platform
