#pragma once

// CKelBase64: Base64 text (RFC 4648, standard alphabet, '=' padding, no line
// breaks) of a byte buffer, and back. Static and stateless; thread safe.
// Whole blocks go through vectorised code where the processor has AVX2.
//
// Each direction is a pair: a Count operation sizing the result, and a
// converter writing into a caller-owned buffer of that size. Failures raise
// CKelException; text that is not Base64 is always rejected, never decoded
// into garbage.
#include "KelCodecExport.h"

#include <KelCore/KelException.h>

#include <cstddef>

class KELCODEC_API CKelBase64 {
public:
    // Characters of the Base64 text of `count` bytes (without terminator).
    static size_t EncodeCount(const BYTE* data, const size_t& count);
    // Writes EncodeCount characters and a terminator: `text` holds
    // EncodeCount + 1 characters.
    static void Encode(wchar_t* text, const BYTE* data, const size_t& count);
    // The same text in UTF-16 code units (what a UTF-16 file holds), written
    // without a wide text in between.
    static void Encode(char16_t* text, const BYTE* data, const size_t& count);

    // Bytes that `text` decodes to. Blanks, tabs and line breaks are passed
    // over (wrapped Base64 files are common); the final padding may be left
    // out. Raises CKelException naming the first character that is not
    // Base64 or the malformed ending.
    static size_t DecodeCount(const wchar_t* text, const size_t& length);
    static size_t DecodeCount(const char* text, const size_t& length);
    // Writes the DecodeCount bytes of `text` into `data`; returns their number.
    // Raises CKelException like DecodeCount.
    static size_t Decode(BYTE* data, const wchar_t* text, const size_t& length);
    static size_t Decode(BYTE* data, const char* text, const size_t& length);

    // The same Base64 text in 8-bit characters.
    static void Encode(char* text, const BYTE* data, const size_t& count);

    // Whether the vectorised code (AVX2) runs where the processor has it:
    // on by default. Switched off, the portable code does all the work (to
    // compare the two, or to rule one out). Returns whether vectorised code
    // will run. The results are the same either way.
    static bool UseVectorised(const bool& use);
};
