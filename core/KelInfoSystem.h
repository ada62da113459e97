#pragma once

// CKelInfoSystem: drives, system drive, browser version code and temporary
// folder. Static operations; thread safe.
#include "platform/KelExport.h"
#include "platform/StringList.h"
#include "platform/StringW.h"
#include "platform/Types.h"

class KELCORE_API CKelInfoSystem {
public:
    // Appends the mount point of every real file system, ending with '/',
    // in mount order ("/" always among them); the list is not cleared.
    static void GetLogicalDrives(CStringList* list);
    // "/". Raises CKelException with the system error when "/" cannot be read.
    static CStringW GetSystemDrive();
    // 1, 2 or 3 for a stored browser version starting with 7, 8 or 9; else 0.
    static DWORD GetIEVer();
    // TEMP, else TMPDIR, else "/tmp"; empty when the value is too long.
    static CStringW GetTempDirectory();
};
