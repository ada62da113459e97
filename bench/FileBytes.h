#pragma once

// Whole-file reading and writing for the pages. Writing goes to a temporary
// file beside the target that is renamed over it at the end, so a failed or
// interrupted save never leaves a half-written file or destroys the old one.
#include "ByteBuffer.h"

#include <platform/StringW.h>

#include <functional>
#include <string_view>

namespace kelbench {

// The whole file into `buffer`. False, with `buffer` untouched, when the
// file cannot be opened (or is a folder); CKelException when reading fails.
bool ReadWholeFile(const CStringW& path, CByteBuffer& buffer);

// Receives the bytes to write, piece by piece.
using ByteSink = std::function<void(std::string_view bytes)>;

// Creates `path` anew with what `produce` passes to its sink. CKelException
// with the system's error when the file cannot be created, written or renamed
// into place; an existing file then stays as it was.
void WriteWholeFile(const CStringW& path, const std::function<void(const ByteSink&)>& produce);

} // namespace kelbench
