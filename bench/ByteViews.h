#pragma once

// The three views of a byte buffer shared by the Base64 and Hash pages:
// "Unicode" (UTF-16LE text), "MBCS" (the system code page) and "Raw Data"
// (hexadecimal text), each both ways, and the display limit of the pages'
// text boxes.
#include "ByteBuffer.h"

#include <platform/StringW.h>

namespace kel::bench {

enum ByteView { kViewUnicode = 0, kViewMBCS = 1, kViewRawData = 2 };

// Characters a text box holds; a text is replaced by a page's message when
// twice its length in UTF-16 code units is greater.
constexpr size_t kDisplayLimit = 307200;

extern const wchar_t* const kMessageTooLong;          // message A
extern const wchar_t* const kMessageTooLongDownload;  // message B
extern const wchar_t* const kMessageTooLongHash;      // the Hash page's

// Whether a text of `units` UTF-16 code units is over the display limit.
inline bool IsOverDisplayLimit(size_t units)
{
    return units > kDisplayLimit / 2;
}

// UTF-16 code units of a wide text (characters beyond U+FFFF count twice).
size_t Utf16Length(const CStringW& text);

// `text`, or `message` when it is over the display limit.
CStringW FitForDisplay(const CStringW& text, const wchar_t* message);

// The buffer as text in `view`, or `message` when the text would be over the
// display limit. The length is worked out before the text is made, so a
// huge buffer never becomes a huge text. Raises CKelException when the
// hexadecimal conversion fails.
CStringW BufferToText(const CByteBuffer& buffer, int view, const wchar_t* message);

// The bytes that `text` stands for in `view`. In "Raw Data" blanks, tabs
// and line breaks are removed; an odd number of digits gives an empty
// buffer, other characters raise CKelException (also in an odd number).
CByteBuffer TextToBuffer(const CStringW& text, int view);

} // namespace kel::bench
