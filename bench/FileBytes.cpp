#include "FileBytes.h"

#include <KelException.h>
#include <platform/FileHandle.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace kelbench {

using kel::platform::CFileHandle;
using kel::platform::NarrowPath;

bool ReadWholeFile(const CStringW& path, CByteBuffer& buffer)
{
    CFileHandle file;
    if (path.IsEmpty() || !file.Open(NarrowPath(path), O_RDONLY))
        return false;
    struct stat info {};
    if (fstat(file.Descriptor(), &info) != 0 || S_ISDIR(info.st_mode))
        return false;
    CByteBuffer loaded = CByteBuffer::Allocate(static_cast<size_t>(info.st_size));
    size_t read = 0;
    if (!file.Read(loaded.Data(), loaded.Count(), read))
        throw new CKelException(static_cast<DWORD>(errno));
    loaded.Shrink(read);
    buffer = std::move(loaded);
    return true;
}

void WriteWholeFile(const CStringW& path, const std::function<void(const ByteSink&)>& produce)
{
    const std::string target = NarrowPath(path);
    if (target.empty())
        throw new CKelException(static_cast<DWORD>(ENOENT));
    // A fresh name, so that no file of the user's is ever truncated.
    CFileHandle file;
    std::string temporary;
    for (int attempt = 0; !file.IsOpen(); ++attempt) {
        temporary = target + ".part" + (attempt ? std::to_string(attempt) : std::string());
        if (!file.Open(temporary, O_WRONLY | O_CREAT | O_EXCL, 0666) && (errno != EEXIST || attempt == 99))
            throw new CKelException(static_cast<DWORD>(errno));
    }
    try {
        produce([&](std::string_view bytes) {
            if (!file.WriteAll(bytes))
                throw new CKelException(static_cast<DWORD>(errno));
        });
        if (!file.Close() || std::rename(temporary.c_str(), target.c_str()) != 0)
            throw new CKelException(static_cast<DWORD>(errno));
    } catch (...) {
        file.Close();
        unlink(temporary.c_str());
        throw;
    }
}

} // namespace kelbench
