#pragma once

// CKelHex: hexadecimal text of a byte buffer, two lower-case digits per byte,
// pairs separated by one blank ("41 42 43"), and back. Static and stateless;
// thread safe. Failures raise CKelException.
#include "KelCodecExport.h"

#include <KelCore/KelException.h>

#include <cstddef>

class KELCODEC_API CKelHex {
public:
    // Characters of the text of `count` bytes (3 per byte less one; 0 for none).
    static size_t EncodeCount(const BYTE* data, const size_t& count);
    // Writes EncodeCount characters and a terminator; returns the characters
    // written.
    static size_t Encode(wchar_t* text, const BYTE* data, const size_t& count);

    // Bytes that `text` decodes to. Blanks, tabs and line breaks between
    // digit pairs are passed over; digits may be upper or lower case. Raises
    // CKelException for any other character or an odd number of digits.
    static size_t DecodeCount(const wchar_t* text, const size_t& length);
    // Writes the DecodeCount bytes of `text`; returns their number.
    static size_t Decode(BYTE* data, const wchar_t* text, const size_t& length);
};
