#pragma once

// CKelInfoModule: questions about the running program: version resource
// text, process count, program folder, memory use, application name.
// Static operations; thread safe.
#include "platform/KelExport.h"
#include "platform/StringW.h"
#include "platform/Types.h"

class KELCORE_API CKelInfoModule {
public:
    // A string of the module's version table (e.g. key "FileVersion"),
    // cleaned so that "1, 0, 0, 3" reads "1.0.0.3"; empty when the module
    // has no version table or no such key. A null module is the
    // application's resource module, or the foundation's own table (the
    // project's version) when the application has none.
    static CStringW GetVersionInfo(HINSTANCE module, const wchar_t* key);
    // Running processes whose executable file name equals `exeName` exactly;
    // 0 when the process list cannot be read.
    static int Process32Count(const wchar_t* exeName);
    // The folder of the running program's file, ending with '/'.
    static CStringW GetCurrentPath();
    // Resident set size and private committed bytes of this process; both
    // outputs stay unchanged when the figures cannot be read.
    static void GetVMemoryUsage(ULONGLONG* workingSet, ULONGLONG* pageFile);
    // The application object's name; empty without an application object.
    static CStringW GetAppName();
};
