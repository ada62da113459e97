#pragma once

// The lines of a followed file from a read position on, each to its line
// feed however long, decoded in the file's encoding into a line sink. Used
// by the document's read cycle; needs no display.
#include "WatchLineSink.h"
#include "platform/FileHandle.h"
#include "platform/Types.h"

#include <cstddef>

namespace kel::watch {

struct SCycle {
    ULONGLONG consumed = 0; // bytes the read position moves on
    size_t lines = 0;
    bool more = false;      // stopped at the budget with bytes left
    bool highByte = false;  // stopped before a line with a byte of 0x80 or more
};

// Cuts lines from `position` on until the file ends or `budget` bytes of
// lines are taken, handing them to `lines` decoded as encoding `id`. With
// `sevenBitOnly` it stops before the first line that is not 7-bit text.
SCycle ReadLines(kel::platform::CFileHandle& file, ULONGLONG position, int id, ULONGLONG budget,
                 CWatchLineSink& lines, bool sevenBitOnly = false);

// True for the two UTF-16 encodings, whose lines are cut in 2-byte units.
bool IsUtf16(int id);

} // namespace kel::watch
