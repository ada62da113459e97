#pragma once

// Whole-file reading and writing for the pages. Reading goes in large blocks
// that can be looked at as they arrive (a digest is made while the file is
// read) and reported to a progress; only regular files are read, and opening
// never waits on a FIFO or a device. Writing goes to a temporary file beside
// the target that is synced and renamed over it at the end (CFileRewrite),
// so a failed, interrupted or cancelled save never leaves a half-written
// file or destroys the old one, and a replaced file keeps its mode and owner.
#include "ByteBuffer.h"
#include "Progress.h"

#include <platform/StringW.h>

#include <functional>
#include <string_view>

namespace kel::bench {

// Sees each block of a file as it is read.
using BlockSink = std::function<void(const BYTE* data, size_t count)>;

// The whole file into `buffer`, block by block. False, with `buffer`
// untouched, when the file cannot be opened or is not a regular file (a
// folder, a FIFO, a device); CKelException
// when reading fails and SCancelled when `progress` says stop, both with
// `buffer` untouched.
bool ReadFileIntoBuffer(const CStringW& path, CByteBuffer& buffer, CProgress* progress = nullptr,
    const BlockSink& onBlock = {});

// At most the first `limit` bytes of the file; false when it cannot be
// opened or is not a regular file (a symbolic link is not followed: it may
// lead out of a searched tree), CKelException when reading fails.
bool ReadFileStart(const CStringW& path, size_t limit, CByteBuffer& buffer);

// Receives the bytes to write, piece by piece.
using ByteSink = std::function<void(std::string_view bytes)>;

// Creates `path` anew with what `produce` passes to its sink; when `path` is
// a symbolic link, the file it leads to gets the content. CKelException
// with the system's error when the file cannot be created, written or renamed
// into place; that and anything else `produce` raises (SCancelled included)
// leave an existing file as it was and no temporary file behind. Before
// the file is put in place the disk is waited for piece by piece, each
// piece reported to `progress` (which may cancel the save then too).
void WriteWholeFile(const CStringW& path, const std::function<void(const ByteSink&)>& produce,
    CProgress* progress = nullptr);

// Writes `bytes` as the whole file, in blocks reported to `progress`.
void WriteWholeFile(const CStringW& path, std::string_view bytes, CProgress* progress);

// Whether something has that name.
bool FileExists(const CStringW& path);

} // namespace kel::bench
