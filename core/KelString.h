#pragma once

// CKelString: conversions between wide text, the system multi-byte code page
// and UTF-8, and small string utilities. Static and stateless; thread safe
// except GetRandomName, which uses the C library's shared generator.
//
// Each conversion is a pair: a Count operation giving the size of the result
// with its terminator, and a converter writing into a buffer of that size.
// Ill-formed input is substituted, never rejected. Failures raise
// CKelException.
#include "platform/KelExport.h"
#include "platform/StringList.h"
#include "platform/StringW.h"
#include "platform/Types.h"

class KELCORE_API CKelString {
public:
    static int Unicode2MBCSCount(const wchar_t* text);   // bytes
    static void Unicode2MBCS(char* out, const wchar_t* text);
    static int UTF82UnicodeCount(const char* text);      // wide characters
    static void UTF82Unicode(wchar_t* out, const char* text);
    static int MBCS2UnicodeCount(const char* text);      // wide characters
    static void MBCS2Unicode(wchar_t* out, const char* text);
    // Bytes the UTF-8 form of `text` needs, terminator included.
    static int Unicode2UTF8Count(const wchar_t* text);
    // Writes the whole UTF-8 form (sized by Unicode2UTF8Count); returns the
    // bytes written, terminator included.
    static int Unicode2UTF8(char* out, const wchar_t* text);

    // "%02x " per byte: {0xAB, 0x01} gives "ab 01 ".
    static CStringW BYTE2CString(const BYTE* data, const int& length);
    // `length` random letters a-z; reseeds the C library generator each call.
    static CStringW GetRandomName(const int& length);
    static CStringW BSTR2Unicode(wchar_t* text);
    // A new automation string; free it with SysFreeString.
    static wchar_t* Unicode2BSTR(const wchar_t* text);
    // Ascending, in UTF-16 code-unit order; swaps the strings, not the nodes.
    static void BubbleSort(CStringList* list);
};
