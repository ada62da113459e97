#include "KelNumber.h"

UINT CKelNumber::BYTE2UINT(const BYTE* bytes)
{
    UINT value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

ULONGLONG CKelNumber::BYTE2ULONGLONG(const BYTE* bytes)
{
    ULONGLONG value = 0;
    for (int i = 0; i < 8; ++i)
        value = (value << 8) | bytes[i];
    return value;
}
