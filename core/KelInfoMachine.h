#pragma once

// CKelInfoMachine: the serial number of a volume. Static; thread safe.
#include "platform/KelExport.h"
#include "platform/Types.h"

class KELCORE_API CKelInfoMachine {
public:
    // The 32-bit id of the file system holding `root` (null: the system
    // drive). Raises CKelException with the system error when it cannot be
    // queried.
    static DWORD GenerateHDDID(const wchar_t* root);
};
