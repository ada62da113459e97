#pragma once

// CProgress: how a long page action (loading, hashing, encoding or saving a
// large file) tells how far it has come and learns that the user wants it
// stopped. The program's window answers it with a progress dialog that keeps
// the window painting; the page logic knows nothing of windows.
#include <platform/Types.h>

namespace kel::bench {

class CProgress {
public:
    virtual ~CProgress() = default;
    // `done` of `total` units of work; false when the action is to stop.
    // `done` equal to `total` says the work is over (what follows, such as
    // a message with the result, is no part of it).
    virtual bool Step(ULONGLONG done, ULONGLONG total) = 0;
};

// Raised through a page action that the user cancelled. The action stops
// where it is and leaves the page's fields and the files as they were.
struct SCancelled {};

// Reports to `progress`, when there is one; raises SCancelled when the
// answer is to stop.
inline void ReportProgress(CProgress* progress, ULONGLONG done, ULONGLONG total)
{
    if (progress && !progress->Step(done, total))
        throw SCancelled {};
}

// Tells `progress`, when there is one, that the work is over.
inline void ReportFinished(CProgress* progress)
{
    if (progress)
        progress->Step(1, 1);
}

// Bytes handled between two reports: small enough that one step takes a few
// milliseconds (tens on a busy machine), large enough that reading and
// hashing run at full speed.
constexpr size_t kProgressBlock = 2 << 20;

} // namespace kel::bench
