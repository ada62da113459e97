#pragma once

// CKelHash: message digests of a byte buffer, MD5 (RFC 1321) and SHA-1
// (FIPS 180-4). Static and stateless; thread safe.
#include "KelCodecExport.h"

#include <KelCore/KelException.h>

#include <cstddef>

class KELCODEC_API CKelHash {
public:
    // Algorithm ids, as the platform's cryptography interface numbers them.
    static constexpr DWORD kMD5 = 0x8003;
    static constexpr DWORD kSHA1 = 0x8004;

    // Writes the digest of `count` bytes into `digest` and sets `length` to
    // its size in bytes. On input `length` is the room in `digest`: a digest
    // that does not fit raises CKelException and writes nothing, as does an
    // unknown algorithm id.
    static void GetValue(const DWORD& algorithm, const BYTE* data, const size_t& count,
        DWORD& length, BYTE* digest);
};
