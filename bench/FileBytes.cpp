#include "FileBytes.h"

#include "ReadAhead.h"

#include <KelException.h>
#include <platform/FileHandle.h>
#include <platform/FileRewrite.h>
#include <platform/Folder.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <string>

namespace kel::bench {

using kel::platform::CFileHandle;
using kel::platform::NarrowPath;

namespace {

// The longest wait for the reading thread between two progress reports.
constexpr std::chrono::milliseconds kReadWait { 20 };

// Bytes the disk is waited for between two progress reports of a save: a
// few tens of milliseconds even on a slow disk.
constexpr ULONGLONG kSyncStep = 4 << 20;

[[noreturn]] void ThrowSystemError()
{
    throw new CKelException(static_cast<DWORD>(errno));
}

// Opens a regular file for reading, never waiting on a FIFO or a device.
bool OpenForReading(const CStringW& path, CFileHandle& file, bool followLink = true)
{
    return !path.IsEmpty() && file.OpenRegular(NarrowPath(path), followLink) == CFileHandle::Opened::Yes;
}

} // namespace

bool ReadFileIntoBuffer(const CStringW& path, CByteBuffer& buffer, CProgress* progress, const BlockSink& onBlock)
{
    CFileHandle file;
    ULONGLONG size = 0;
    if (!OpenForReading(path, file) || !file.Size(size))
        return false;
    CByteBuffer loaded = CByteBuffer::Allocate(static_cast<size_t>(size));
    // Read on a thread of its own: the blocks that have arrived are looked
    // at here while the next ones are read, and a slow disk never keeps
    // this thread from its reports for longer than a wait.
    CReadAhead reader(file, loaded.Data(), loaded.Count());
    size_t seen = 0;
    for (;;) {
        ReportProgress(progress, seen, loaded.Count());
        const CReadAhead::SState state = reader.Wait(seen, kReadWait);
        const size_t piece = std::min(kProgressBlock, state.ready - seen);
        if (onBlock && piece > 0)
            onBlock(loaded.Data() + seen, piece);
        seen += piece;
        if (state.bFinished && seen == state.ready) {
            if (state.nError != 0)
                throw new CKelException(static_cast<DWORD>(state.nError));
            break;
        }
    }
    loaded.Shrink(seen);
    buffer = std::move(loaded);
    return true;
}

bool ReadFileStart(const CStringW& path, size_t limit, CByteBuffer& buffer)
{
    CFileHandle file;
    ULONGLONG size = 0;
    if (!OpenForReading(path, file, false) || !file.Size(size))
        return false;
    CByteBuffer start = CByteBuffer::Allocate(static_cast<size_t>(std::min<ULONGLONG>(size, limit)));
    size_t read = 0;
    if (!file.Read(start.Data(), start.Count(), read))
        ThrowSystemError();
    start.Shrink(read);
    buffer = std::move(start);
    return true;
}

void WriteWholeFile(const CStringW& path, const std::function<void(const ByteSink&)>& produce, CProgress* progress)
{
    const std::string target = NarrowPath(path);
    if (target.empty())
        throw new CKelException(static_cast<DWORD>(ENOENT));
    // A link names the file to save to; the link itself stays.
    kel::platform::SRewritePolicy policy;
    policy.followLink = true;
    kel::platform::CFileRewrite rewrite(policy);
    if (const CFileHandle::Opened opened = rewrite.OpenOrNew(target); opened != CFileHandle::Opened::Yes) {
        if (opened != CFileHandle::Opened::Failed)
            errno = EINVAL; // a FIFO, a device, a folder, a link that leads nowhere: nothing to replace
        ThrowSystemError();
    }
    if (!rewrite.Begin())
        ThrowSystemError();
    // Anything `produce` raises drops the temporary file with `rewrite`.
    produce([&](std::string_view bytes) {
        if (!rewrite.Write(bytes))
            ThrowSystemError();
    });
    const ULONGLONG total = rewrite.Written();
    for (ULONGLONG synced = 0; synced < total;) {
        ReportProgress(progress, synced, total);
        synced = std::min<ULONGLONG>(total, synced + kSyncStep);
        if (!rewrite.SyncWritten(synced))
            ThrowSystemError();
    }
    if (!rewrite.Commit())
        ThrowSystemError();
}

void WriteWholeFile(const CStringW& path, std::string_view bytes, CProgress* progress)
{
    WriteWholeFile(path, [&](const ByteSink& sink) {
        for (size_t at = 0; at < bytes.size(); at += kProgressBlock) {
            ReportProgress(progress, at, bytes.size());
            sink(bytes.substr(at, kProgressBlock));
        }
    }, progress);
}

bool FileExists(const CStringW& path)
{
    return !path.IsEmpty() && kel::platform::PathExists(NarrowPath(path));
}

} // namespace kel::bench
