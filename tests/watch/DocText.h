#pragma once

// Everything a document has to show right now: a cycle may stop at its
// budget, and the view then runs the next one at once.
#include "KelWatchDoc.h"

#include <string>

namespace kel::test {

inline std::wstring ReadAll(CKelWatchDoc& doc)
{
    std::wstring text = doc.ReadCycle().str();
    while (doc.HasMore())
        text += doc.ReadCycle().str();
    return text;
}

} // namespace kel::test
