#pragma once

// CBase64Text: the whole Base64 text of the decoding page. A file of plain
// ASCII text (UTF-8 or UTF-16LE, with or without byte-order mark), which is
// what Base64 files are, is kept as the bytes read (for UTF-16, narrowed in
// place), a quarter of the memory of a wide text and no copy; anything else
// is kept as the wide text the file decodes to.
#include "ByteBuffer.h"
#include "Progress.h"

#include <platform/StringW.h>

#include <string_view>

class CBase64Text {
public:
    CBase64Text() = default;
    explicit CBase64Text(const CStringW& text) : m_strWide(text) {}

    // The text of a file, as CKelFile reads it; empty when the file cannot
    // be opened. Raises CKelException when the file cannot be read or its
    // encoding cannot be decoded, SCancelled when `progress` says stop.
    static CBase64Text ReadFile(const CStringW& path, kel::bench::CProgress* progress = nullptr);

    bool IsEmpty() const { return Length() == 0; }
    size_t Length() const { return m_bNarrow ? m_ascii.size() : static_cast<size_t>(m_strWide.GetLength()); }
    CStringW Wide() const;

    // Decoded through the narrow or the wide interface of KelCodec. A plain
    // text (nothing but alphabet characters and the final padding) is
    // counted and decoded in pieces reported to `progress`; `count` is what
    // DecodeCount gave for the text.
    size_t DecodeCount(kel::bench::CProgress* progress = nullptr) const;
    size_t Decode(unsigned char* data, size_t count, kel::bench::CProgress* progress = nullptr) const;

private:
    bool m_bNarrow = false;
    CByteBuffer m_bytes;     // holds the narrow text
    std::string_view m_ascii; // the narrow text, within m_bytes
    CStringW m_strWide;
};
