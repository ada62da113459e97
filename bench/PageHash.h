#pragma once

// CPageHash: the fields and actions of the "Hash" page: the MD5 or SHA-1
// digest of a byte buffer loaded from a file or built from typed text in one
// of the three views, shown as hexadecimal text.
#include "ByteBuffer.h"

#include <platform/StringW.h>

class CPageHash {
public:
    CStringW m_strPath;       // file the buffer was loaded from
    CStringW m_strInput;      // the buffer in the chosen view, or typed text
    int m_nView = 0;          // 0 "Unicode", 1 "MBCS", 2 "Raw Data"
    int m_nAlgorithm = 0;     // 0 "MD5", 1 "SHA1"
    int m_nDigestLength = 20; // "자릿수": the digest's size in bytes
    CStringW m_strOutput;     // the digest in hexadecimal

    const CByteBuffer& Buffer() const { return m_buffer; }

    // "File Open" chose a file, or the path box changed.
    void LoadPath();
    // The user edited the input box: rebuild the buffer (the path is kept).
    void InputChanged();
    void ViewChanged();
    // The algorithm list changed (m_nAlgorithm holds the new index).
    void AlgorithmChanged();
    // "Hashing".
    void Compute();

private:
    void _ShowBuffer();

    CByteBuffer m_buffer;
};
