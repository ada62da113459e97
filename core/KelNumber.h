#pragma once

// CKelNumber: big-endian bytes to numbers. Static; thread safe.
#include "platform/KelExport.h"
#include "platform/Types.h"

class KELCORE_API CKelNumber {
public:
    // The first 4 bytes as a big-endian unsigned number.
    static UINT BYTE2UINT(const BYTE* bytes);
    // The first 8 bytes as a big-endian unsigned number.
    static ULONGLONG BYTE2ULONGLONG(const BYTE* bytes);
};
