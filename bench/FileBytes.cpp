#include "FileBytes.h"

#include <KelException.h>
#include <platform/FileHandle.h>
#include <platform/Folder.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <string>

namespace kelbench {

using kel::platform::CFileHandle;
using kel::platform::NarrowPath;

namespace {

[[noreturn]] void ThrowSystemError()
{
    throw new CKelException(static_cast<DWORD>(errno));
}

// Opens a regular file (not a folder) for reading.
bool OpenForReading(const CStringW& path, CFileHandle& file)
{
    return !path.IsEmpty() && file.Open(NarrowPath(path), O_RDONLY) && !file.IsDirectory();
}

} // namespace

bool ReadWholeFile(const CStringW& path, CByteBuffer& buffer, CProgress* progress, const BlockSink& onBlock)
{
    CFileHandle file;
    ULONGLONG size = 0;
    if (!OpenForReading(path, file) || !file.Size(size))
        return false;
    CByteBuffer loaded = CByteBuffer::Allocate(static_cast<size_t>(size));
    size_t total = 0;
    for (;;) {
        ReportProgress(progress, total, loaded.Count());
        const size_t want = std::min(kProgressBlock, loaded.Count() - total);
        size_t read = 0;
        if (want > 0 && !file.Read(loaded.Data() + total, want, read))
            ThrowSystemError();
        if (onBlock && read > 0)
            onBlock(loaded.Data() + total, read);
        total += read;
        if (read < kProgressBlock)
            break; // end of file, or the buffer is full
    }
    loaded.Shrink(total);
    buffer = std::move(loaded);
    return true;
}

bool ReadFileStart(const CStringW& path, size_t limit, CByteBuffer& buffer)
{
    CFileHandle file;
    ULONGLONG size = 0;
    if (!OpenForReading(path, file) || !file.Size(size))
        return false;
    CByteBuffer start = CByteBuffer::Allocate(static_cast<size_t>(std::min<ULONGLONG>(size, limit)));
    size_t read = 0;
    if (!file.Read(start.Data(), start.Count(), read))
        ThrowSystemError();
    start.Shrink(read);
    buffer = std::move(start);
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
            ThrowSystemError();
    }
    try {
        produce([&](std::string_view bytes) {
            if (!file.WriteAll(bytes))
                ThrowSystemError();
        });
        if (!file.Close() || !kel::platform::ReplaceFile(temporary, target))
            ThrowSystemError();
    } catch (...) {
        file.Close();
        kel::platform::RemoveFile(temporary);
        throw;
    }
}

void WriteWholeFile(const CStringW& path, std::string_view bytes, CProgress* progress)
{
    WriteWholeFile(path, [&](const ByteSink& sink) {
        for (size_t at = 0; at < bytes.size(); at += kProgressBlock) {
            ReportProgress(progress, at, bytes.size());
            sink(bytes.substr(at, kProgressBlock));
        }
    });
}

bool FileExists(const CStringW& path)
{
    return !path.IsEmpty() && kel::platform::PathExists(NarrowPath(path));
}

} // namespace kelbench
