#pragma once

// CPageHash: the fields and actions of the "Hash" page: the MD5, SHA-1 or
// SHA-256 digest of a byte buffer loaded from a file or built from typed
// text in one of the three views, shown as hexadecimal text.
//
// A loaded file is hashed with the chosen algorithm while it is read, so
// "Hashing" right after a load does not read the buffer a second time.
#include "BytePage.h"

#include <KelHash.h>

#include <memory>

class CPageHash : public CBytePage {
public:
    enum Algorithm { kMD5 = 0, kSHA1 = 1, kSHA256 = 2 };

    // Beside the shared fields: m_strInput shows the buffer in the chosen
    // view (or typed text) and m_strOutput the digest in hexadecimal.
    int m_nAlgorithm = 0;     // 0 "MD5", 1 "SHA1", 2 "SHA256"
    int m_nDigestLength = 20; // "자릿수": the digest's size in bytes

    CPageHash();

    // The user edited the input box: rebuild the buffer (the path is kept).
    void InputChanged();
    // The algorithm list changed (m_nAlgorithm holds the new index).
    void AlgorithmChanged();
    // "Hashing". A cancelled computation leaves the output as it was.
    void Compute();

private:
    kel::bench::StepResult _Load() override;
    // The digest state of the whole buffer for `algorithm`: the one made
    // while loading, or a new one fed block by block.
    CKelHashStream _HashOfBuffer(DWORD algorithm);

    std::unique_ptr<CKelHashStream> m_pLoadedHash; // of m_buffer, made while it was read
};
