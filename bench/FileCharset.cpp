#include "FileCharset.h"

#include "FileBytes.h"

#include <KelException.h>
#include <KelFile.h>
#include <KelUtil.h>
#include <platform/CodePage.h>
#include <platform/FileName.h>
#include <platform/FileRewrite.h>
#include <platform/Unicode.h>

#include <cerrno>
#include <algorithm>
#include <string>

namespace kel::bench {

using kel::platform::CFileHandle;
using kel::platform::CodePage;

namespace {

// Bytes read to recognise a file's character set.
constexpr size_t kCharsetSample = 1 << 20;

CStringW ErrorText(int error)
{
    CStringW text = CKelUtil::MessageError(static_cast<DWORD>(error));
    text.TrimRight();
    return text;
}

} // namespace

CStringW DetectCharset(const CStringW& path)
{
    CByteBuffer sample;
    bool read = false;
    try {
        read = ReadFileStart(path, kCharsetSample, sample);
    } catch (CKelException* e) {
        e->Delete();
    }
    if (!read)
        return CStringW();
    size_t count = sample.Count();
    // A sample cut from a bigger file ends at a line end, not inside a character.
    if (count == kCharsetSample) {
        const BYTE* data = sample.Data();
        const bool utf16 = count >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF));
        if (!utf16)
            while (count > 0 && data[count - 1] != '\n')
                --count;
        if (count == 0)
            count = sample.Count();
    }
    return CKelFile::GetEncodingName(CKelFile::EncodingCheck(sample.Data(), static_cast<UINT>(count)));
}

const wchar_t* const kCharsetTargetNames[4] = { L"UTF-8", L"UTF-8 (BOM)", L"CP949", L"UTF-16LE (BOM)" };

namespace {

// The CKelFile encoding id a target writes, and the ids whose bytes already
// are what the target would write.
int TargetEncoding(int target)
{
    static const int kIds[] = { CKelFile::UTF8_NOBOM, CKelFile::UTF8_BOM, CKelFile::CP949, CKelFile::UTF16_LE };
    return kIds[target];
}

bool IsAlreadyTarget(int id, int target)
{
    switch (target) {
    case kToUtf8:
        return id == CKelFile::UTF8_NOBOM || id == CKelFile::ASCII;
    case kToCp949:
        return id == CKelFile::CP949 || id == CKelFile::EUCKR || id == CKelFile::ASCII;
    default:
        return id == TargetEncoding(target);
    }
}

// Whether the text holds a zero, where a reader would stop.
bool HasZero(std::string_view bytes, int id)
{
    if (id != CKelFile::UTF16_LE)
        return bytes.find('\0') != std::string_view::npos;
    if (bytes.size() % 2 != 0)
        return true;
    for (size_t i = 0; i < bytes.size(); i += 2)
        if ((bytes[i] | bytes[i + 1]) == 0)
            return true;
    return false;
}

std::string_view After(std::string_view bytes, size_t mark)
{
    return bytes.substr(std::min(mark, bytes.size()));
}

// The characters of `bytes` in encoding `id`, without the byte-order mark;
// false, with the reason, when any byte does not decode exactly.
bool DecodeStrictly(int id, std::string_view bytes, std::wstring& text, CStringW& reason)
{
    switch (id) {
    case CKelFile::ASCII:
        text.assign(bytes.begin(), bytes.end()); // 7-bit bytes, the same in every code page
        return true;
    case CKelFile::UTF8_BOM:
    case CKelFile::UTF8_NOBOM:
        if (kel::platform::Utf8ToWideStrict(After(bytes, id == CKelFile::UTF8_BOM ? 3 : 0), text))
            return true;
        reason = id == CKelFile::UTF8_NOBOM && kel::platform::MultiByteToWideStrict(bytes, CodePage::Cp949, text)
            ? L"UTF-8이 아닙니다: CP949로 보입니다"
            : L"UTF-8이 아닙니다: UTF-8로 읽을 수 없는 바이트가 있습니다.";
        return false;
    case CKelFile::EUCKR:
    case CKelFile::CP949:
        if (kel::platform::MultiByteToWideStrict(bytes, CodePage::Cp949, text))
            return true;
        reason = L"CP949로 읽을 수 없는 바이트가 있습니다.";
        return false;
    case CKelFile::UTF16_LE: {
        const std::string_view units = After(bytes, 2);
        if (kel::platform::Utf16LEToWideStrict(reinterpret_cast<const BYTE*>(units.data()), units.size(), text))
            return true;
        reason = L"UTF-16LE로 읽을 수 없는 단위가 있습니다 (짝 없는 서로게이트).";
        return false;
    }
    default:
        reason = L"지원하지 않는 Format " + CKelFile::GetEncodingName(id) + L" 입니다.";
        return false;
    }
}

// The bytes of `text` in the target, with its byte-order mark; false when a
// character has no code in the target.
bool EncodeForTarget(const std::wstring& text, int target, std::string& bytes)
{
    std::string body;
    switch (target) {
    case kToUtf8:
    case kToUtf8Mark:
        if (!kel::platform::WideToMultiByteStrict(text, CodePage::Utf8, body))
            return false;
        bytes = (target == kToUtf8Mark ? "\xEF\xBB\xBF" : "") + body;
        return true;
    case kToCp949:
        return kel::platform::WideToMultiByteStrict(text, CodePage::Cp949, bytes);
    default:
        bytes = "\xFF\xFE";
        kel::platform::AppendWideAsUtf16LE(text, bytes);
        return true;
    }
}

// Whether the converted bytes read back as exactly `text`.
bool ReadsBackAs(const std::string& bytes, int target, const std::wstring& text)
{
    static const int kIds[] = { CKelFile::UTF8_NOBOM, CKelFile::UTF8_BOM, CKelFile::CP949, CKelFile::UTF16_LE };
    std::wstring back;
    CStringW reason;
    return DecodeStrictly(kIds[target], bytes, back, reason) && back == text;
}

// The whole file behind `original`, or false with errno.
bool ReadAll(CFileHandle& original, std::string& bytes)
{
    ULONGLONG size = 0;
    if (!original.Size(size))
        return false;
    if (size > UINT32_MAX) {
        errno = EFBIG;
        return false;
    }
    bytes.resize(static_cast<size_t>(size));
    size_t read = 0;
    if (!original.Read(bytes.data(), bytes.size(), read))
        return false;
    bytes.resize(read);
    return true;
}

// Why the file cannot be rewritten as it is opened; empty when it can.
CStringW RefusalOf(CFileHandle::Opened opened, const kel::platform::CFileRewrite& rewrite, bool& skip)
{
    skip = true;
    switch (opened) {
    case CFileHandle::Opened::Link:
        return L"심볼릭 링크는 바꾸지 않습니다 (가리키는 파일을 그 이름으로 바꾸세요).";
    case CFileHandle::Opened::NotRegular:
        return L"일반 파일이 아닙니다.";
    case CFileHandle::Opened::Failed:
        skip = false;
        return errno == ENOENT ? CStringW(L"파일이 없습니다.") : ErrorText(errno);
    case CFileHandle::Opened::Yes:
        break;
    }
    if (rewrite.Links() > 1) {
        CStringW reason;
        reason.Format(L"하드 링크가 있는 파일은 바꾸지 않습니다 (이름 %llu개).", rewrite.Links());
        return reason;
    }
    return CStringW();
}

} // namespace

CStringW ChangeCharset(const CStringW& path, int target, SBatchReport& report)
{
    kel::platform::CFileRewrite rewrite;
    bool skip = false;
    const CStringW refusal = RefusalOf(rewrite.Open(kel::platform::NarrowPath(path)), rewrite, skip);
    std::string bytes;
    if (refusal.IsEmpty() && !ReadAll(rewrite.Original(), bytes)) {
        report.Fail(path, ErrorText(errno));
        return CStringW();
    }
    if (!refusal.IsEmpty()) {
        skip ? report.Skip(path, refusal) : report.Fail(path, refusal);
        return CStringW();
    }
    const int id = CKelFile::EncodingCheck(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
    if (id == CKelFile::UNDETECTED || id == CKelFile::CANNOTFOUND) {
        report.Skip(path, L"글자셋을 알 수 없습니다.");
        return CStringW();
    }
    if (HasZero(bytes, id)) {
        report.Skip(path, L"글자가 아닌 0 바이트가 있습니다.");
        return CStringW();
    }
    std::wstring text;
    CStringW reason;
    if (!DecodeStrictly(id, bytes, text, reason)) {
        report.Fail(path, reason);
        return CStringW();
    }
    if (IsAlreadyTarget(id, target)) {
        report.Skip(path, L"이미 " + CKelFile::GetEncodingName(id) + L" 입니다.");
        return CStringW();
    }
    std::string encoded;
    if (!EncodeForTarget(text, target, encoded)) {
        report.Fail(path, CStringW(L"CP949로 나타낼 수 없는 글자가 있습니다."));
        return CStringW();
    }
    if (!ReadsBackAs(encoded, target, text)) {
        report.Fail(path, CStringW(L"바꾼 글자를 다시 읽으면 원래 글자와 다릅니다."));
        return CStringW();
    }
    if (!rewrite.Begin() || !rewrite.Write(encoded) || !rewrite.Commit()) {
        report.Fail(path, rewrite.Changed() ? CStringW(L"바꾸는 사이에 파일이 바뀌었습니다.") : ErrorText(errno));
        return CStringW();
    }
    ++report.nDone;
    return CKelFile::GetEncodingName(TargetEncoding(target));
}

} // namespace kel::bench
