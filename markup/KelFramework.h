#pragma once

// CKelFramework: the update check. CheckUpdate reads and parses an HTML page
// with CKelHTMLParser and returns 1; it takes no decision on the content and
// touches no network. Thread safe: every call uses its own parser.
#include "KelUpdateExport.h"

class KELUPDATE_API CKelFramework {
public:
    // `encoding` 1 reads the file as UTF-8, 0 as the system code page. The
    // parser's CKelException (file or tree insertion) passes out unchanged.
    static int CheckUpdate(const wchar_t* path, int encoding);
};
