#pragma once

// CKelHash: message digests of a byte buffer, MD5 (RFC 1321), SHA-1 and
// SHA-256 (FIPS 180-4). Static and stateless; thread safe.
// CKelHashStream: the same digests fed piece by piece, so that a file can be
// hashed while it is read. One object per digest; not shared between threads.
#include "KelCodecExport.h"

#include <KelCore/KelException.h>

#include <cstddef>

class KELCODEC_API CKelHash {
public:
    // Algorithm ids, as the platform's cryptography interface numbers them.
    static constexpr DWORD kMD5 = 0x8003;
    static constexpr DWORD kSHA1 = 0x8004;
    static constexpr DWORD kSHA256 = 0x800C;

    // Writes the digest of `count` bytes into `digest` and sets `length` to
    // its size in bytes. On input `length` is the room in `digest`: a digest
    // that does not fit raises CKelException and writes nothing, as does an
    // unknown algorithm id.
    static void GetValue(const DWORD& algorithm, const BYTE* data, const size_t& count,
        DWORD& length, BYTE* digest);
};

class KELCODEC_API CKelHashStream {
public:
    // Raises CKelException for an unknown algorithm id.
    explicit CKelHashStream(const DWORD& algorithm);
    ~CKelHashStream();
    // A copy carries on from the same point (a digest of what was fed so
    // far, leaving the original to be fed further).
    CKelHashStream(const CKelHashStream& other);
    CKelHashStream& operator=(const CKelHashStream&) = delete;

    DWORD Algorithm() const { return m_nAlgorithm; }
    void Update(const BYTE* data, const size_t& count);
    // Writes the digest of everything fed, as CKelHash::GetValue does
    // (same room check, same failures). The stream is spent afterwards
    // (Update and Finish then raise): a copy taken before is the way to
    // finish twice.
    void Finish(DWORD& length, BYTE* digest);

private:
    DWORD m_nAlgorithm;
    void* m_pContext; // the library's digest context
    bool m_bFinished = false;
};
