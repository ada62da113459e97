#pragma once

// CPageHash: the fields and actions of the "Hash" page: the MD5, SHA-1 or
// SHA-256 digest of a byte buffer loaded from a file or built from typed
// text in one of the three views, shown as hexadecimal text.
//
// A loaded file is hashed with the chosen algorithm while it is read, so
// "Hashing" right after a load does not read the buffer a second time.
#include "ByteBuffer.h"
#include "PageSupport.h"
#include "Progress.h"

#include <KelHash.h>
#include <platform/StringW.h>

#include <memory>

class CPageHash {
public:
    enum Algorithm { kMD5 = 0, kSHA1 = 1, kSHA256 = 2 };

    CStringW m_strPath;       // file the buffer was loaded from
    CStringW m_strInput;      // the buffer in the chosen view, or typed text
    int m_nView = 0;          // 0 "Unicode", 1 "MBCS", 2 "Raw Data"
    int m_nAlgorithm = 0;     // 0 "MD5", 1 "SHA1", 2 "SHA256"
    int m_nDigestLength = 20; // "자릿수": the digest's size in bytes
    CStringW m_strOutput;     // the digest in hexadecimal

    // Told of the progress of loading and hashing; none by default.
    kel::bench::CProgress* m_pProgress = nullptr;

    const CByteBuffer& Buffer() const { return m_buffer; }

    // "File Open" chose a file, or the path box changed. A cancelled load
    // leaves the page as it was.
    void LoadPath() { _Load(); }
    // The same for a file the user chose; a cancelled load also keeps the
    // path that was shown.
    void Open(const CStringW& path);
    // The user edited the input box: rebuild the buffer (the path is kept).
    void InputChanged();
    void ViewChanged();
    // The algorithm list changed (m_nAlgorithm holds the new index).
    void AlgorithmChanged();
    // "Hashing". A cancelled computation leaves the output as it was.
    void Compute();

private:
    kel::bench::StepResult _Load();
    void _ShowBuffer();
    // The digest state of the whole buffer for `algorithm`: the one made
    // while loading, or a new one fed block by block.
    CKelHashStream _HashOfBuffer(DWORD algorithm);

    CByteBuffer m_buffer;
    std::unique_ptr<CKelHashStream> m_pLoadedHash; // of m_buffer, made while it was read
    kel::bench::CTypedTextFailure m_typedFailure;
};
