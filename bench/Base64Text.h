#pragma once

// CBase64Text: the whole Base64 text of the decoding page. A file of plain
// ASCII text (UTF-8 or UTF-16LE, with or without byte-order mark), which is
// what Base64 files are, is kept as its bytes, a quarter of the memory of a
// wide text; anything else is kept as the wide text the file decodes to.
#include "Progress.h"

#include <platform/StringW.h>

#include <string>

class CBase64Text {
public:
    CBase64Text() = default;
    explicit CBase64Text(const CStringW& text) : m_strWide(text) {}

    // The text of a file, as CKelFile reads it; empty when the file cannot
    // be opened. Raises CKelException when the file cannot be read or its
    // encoding cannot be decoded, SCancelled when `progress` says stop.
    static CBase64Text ReadFile(const CStringW& path, kelbench::CProgress* progress = nullptr);

    bool IsEmpty() const { return Length() == 0; }
    size_t Length() const { return m_bNarrow ? m_ascii.size() : static_cast<size_t>(m_strWide.GetLength()); }
    CStringW Wide() const;

    // Decoded through the narrow or the wide interface of KelCodec. A plain
    // text (no blanks or line breaks) is decoded in pieces reported to
    // `progress`; `count` is what DecodeCount gave for the text.
    size_t DecodeCount() const;
    size_t Decode(unsigned char* data, size_t count, kelbench::CProgress* progress = nullptr) const;

private:
    bool m_bNarrow = false;
    std::string m_ascii;
    CStringW m_strWide;
};
