#pragma once

// The AVX2 blocks of Base64 encoding and decoding: whole blocks only, left
// to the portable code before and after them. Each function takes as many
// whole blocks as there are and stops at the first block it cannot take;
// it must only be called where the processor has AVX2 (Avx2Present).
#include <KelCore/platform/Types.h>

#include <cstddef>

namespace kel::codec {

bool Avx2Present();

// Encodes 24 bytes at a time while 28 can be read; returns the bytes
// encoded (a multiple of 24), whose text (4 characters per 3 bytes) is
// written to `text`.
size_t EncodeBlocksAvx2(char* text, const BYTE* data, size_t count);
size_t EncodeBlocksAvx2(char16_t* text, const BYTE* data, size_t count);
size_t EncodeBlocksAvx2(wchar_t* text, const BYTE* data, size_t count);

// Decodes 32 characters at a time as long as all 32 are alphabet
// characters; returns the characters decoded (a multiple of 32), whose
// bytes (3 per 4 characters) are written to `data`.
size_t DecodeBlocksAvx2(BYTE* data, const char* text, size_t length);
size_t DecodeBlocksAvx2(BYTE* data, const wchar_t* text, size_t length);

// The characters at the start of `text` that DecodeBlocksAvx2 would take,
// found without decoding them.
size_t AlphabetBlocksAvx2(const char* text, size_t length);
size_t AlphabetBlocksAvx2(const wchar_t* text, size_t length);

} // namespace kel::codec
