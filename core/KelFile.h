#pragma once

// CKelFile: text files of unknown encoding. EncodingCheck recognises an
// encoding by byte-order mark, then by four byte-pattern recognisers run side
// by side (ASCII, UTF-8 without mark, EUC-KR, CP949). Reading decodes by the
// detected encoding; writing appends UTF-8 or UTF-16LE, giving a new file its
// byte-order mark.
//
// Static operations are thread safe. File operations take no lock; callers
// that share a file serialise their writes (the log does).
#include "platform/KelExport.h"
#include "platform/StringW.h"
#include "platform/Types.h"

#include <string_view>

namespace kel::platform {
class CFileHandle;
}

class KELCORE_API CKelFile {
public:
    enum Encoding {
        UTF8_BOM = 0,
        UTF16_BE = 1,
        UTF16_LE = 2,
        UTF32_BE = 3,
        UTF32_LE = 4,
        SCSU = 5,
        UTF7_0 = 6,
        UTF7_1 = 7,
        UTF7_2 = 8,
        UTF7_3 = 9,
        UTF7_4 = 10,
        UTF_EBCDIC = 11,
        BOCU_1 = 12,
        ASCII = 13,
        UTF8_NOBOM = 14,
        EUCKR = 15,
        CP949 = 16,
        CANNOTFOUND = 17,
        UNDETECTED = 18,
    };

    CKelFile() = default;
    ~CKelFile() = default;

    void SetFilename(const wchar_t* path) { m_strFilename = path; }
    CStringW GetFilename() const { return m_strFilename; }

    // The encoding id (0-16, or 18 when no candidate fits) of the bytes.
    static int EncodingCheck(const BYTE* data, UINT length);
    // Names of ids 0-17; "UNDETECTED" for 18 and "UNKNOWN" for anything else.
    static CStringW GetEncodingName(int id);

    // The whole file as wide text; empty when it cannot be opened.
    CStringW ReadTextFile();
    // The bytes decoded by their detected encoding. Raises CKelException
    // "지원하지 않는 Format %s 입니다." for an encoding it cannot read.
    CStringW ReadText(const BYTE* data, UINT length);
    // The same, for an encoding already known (Encoding ids 0, 2, 13-16).
    static CStringW DecodeAs(int id, const BYTE* data, size_t length);

    // Append to m_strFilename; a new file gets its byte-order mark. When the
    // file can be neither opened nor created nothing is written and nothing
    // raised; a write error raises CKelException with its errno.
    void WriteUTF8(const wchar_t* text);
    void WriteUnicode(const wchar_t* text);

    // Creates every level of a '/'-separated path; failures are ignored.
    static void CreateFolder(const wchar_t* path);

private:
    static int _isBomMatch(int id, const BYTE* data);
    void _append(std::string_view mark, bool utf16, const wchar_t* text);
    static void _writeText(kel::platform::CFileHandle& file, bool utf16, const wchar_t* text);

    CStringW m_strFilename;
};
