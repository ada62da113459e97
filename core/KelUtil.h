#pragma once

// CKelUtil: static utilities. MessageError turns an error number into text.
#include "platform/KelExport.h"
#include "platform/StringW.h"
#include "platform/Types.h"

class KELCORE_API CKelUtil {
public:
    // Empty for 0; the system's text (ending "\r\n") when it has one, else
    // "ERRORNUMBER ( %d )\n" with the number as a signed decimal.
    static CStringW MessageError(const DWORD& errorNumber);
};
