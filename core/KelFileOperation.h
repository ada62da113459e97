#pragma once

// CKelFileOperation deletes a folder tree; CKelFileSHOperation renames the way
// a desktop file manager does. Static operations, thread safe as far as the
// file system is.
#include "platform/KelExport.h"

class KELCORE_API CKelFileOperation {
public:
    // Deletes `folder` with everything in it: non-zero on success, 0 at the
    // first entry that cannot be deleted (what went before stays deleted).
    // Symbolic links are removed as links; their targets are never touched.
    // A path with "." or ".." in it deletes the folder it resolves to; the
    // root of the system, under any name or mount, is refused (0). Trees of
    // any depth are deleted with a few descriptors.
    static int DeleteDirectory(const wchar_t* folder);
    // 1 for "." and "..", else 0.
    static int IsDots(const wchar_t* name);
};

class KELCORE_API CKelFileSHOperation {
public:
    // Renames `from` to `to` without overwriting: when `to` exists the entry
    // gets the first free name "name (2).ext", "name (3).ext", ... beside it.
    // The outcome is not reported; neither file is ever lost.
    static void rename(const wchar_t* from, const wchar_t* to);
};
