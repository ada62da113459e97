#include "FileBatch.h"

#include "FileBytes.h"

#include <KelException.h>
#include <KelFile.h>
#include <KelFileOperation.h>
#include <KelUtil.h>
#include <platform/CodePage.h>
#include <platform/Unicode.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace kelbench {

namespace {

// Bytes read to recognise a file's character set.
constexpr size_t kCharsetSample = 1 << 20;

CStringW JoinName(const CStringW& folder, const CStringW& name, CStringW extension)
{
    extension.TrimLeft(L'.');
    return extension.IsEmpty() ? folder + name : folder + name + L"." + extension;
}

// "name (n).ext": the name the rename's collision rule gives (the number
// goes before the last extension; a leading dot is not one).
CStringW NumberedName(const CStringW& path, int number)
{
    const int nameStart = path.ReverseFind(L'/') + 1;
    int dot = path.ReverseFind(L'.');
    if (dot <= nameStart)
        dot = path.GetLength();
    CStringW numbered;
    numbered.Format(L"%ls (%d)%ls", path.Left(dot).GetString(), number, path.Mid(dot).GetString());
    return numbered;
}

// The name a rename to `to` will take: `to`, or the first free numbered one.
CStringW FreeName(const CStringW& to)
{
    if (!FileExists(to))
        return to;
    for (int number = 2; number < 10000; ++number)
        if (!FileExists(NumberedName(to, number)))
            return NumberedName(to, number);
    return to;
}

// Renames `from` to `to` the way a file manager does; the name it took, or
// empty with `reason` set when the file was not renamed.
CStringW RenameFile(const CStringW& from, const CStringW& to, CStringW& reason)
{
    if (!FileExists(from)) {
        reason = L"파일이 없습니다.";
        return CStringW();
    }
    const CStringW target = FreeName(to);
    errno = 0;
    CKelFileSHOperation::rename(from, to);
    const int error = errno;
    if (FileExists(from) || !FileExists(target)) {
        reason = error ? CKelUtil::MessageError(static_cast<DWORD>(error)) : CStringW(L"이름을 바꾸지 못했습니다.");
        reason.TrimRight();
        return CStringW();
    }
    return target;
}

// Shows `file` (a full path) in the row as its current and planned name.
void ShowFileInRow(CFileList& list, int row, const CStringW& file)
{
    const CStringW name = file.Mid(file.ReverseFind(L'/') + 1);
    const int dot = name.ReverseFind(L'.');
    const CStringW title = dot <= 0 ? name : name.Left(dot);
    const CStringW extension = dot <= 0 ? CStringW() : name.Mid(dot + 1);
    list.SetItemText(row, CFileList::kName, title);
    list.SetItemText(row, CFileList::kNewName, title);
    list.SetItemText(row, CFileList::kExtension, extension);
    list.SetItemText(row, CFileList::kNewExtension, CStringW());
}

// Why a planned name cannot be a file name; empty when it can.
CStringW BadNameReason(const CFileList& list, int row)
{
    const CStringW& name = list.GetItemText(row, CFileList::kNewName);
    if (list.GetItemText(row, CFileList::kPath).IsEmpty())
        return L"경로가 없습니다 (정렬한 목록은 다시 검색하세요).";
    if (name.IsEmpty())
        return L"변경할 파일명이 비어 있습니다.";
    if (name.Find(L'/') >= 0 || list.GetItemText(row, CFileList::kNewExtension).Find(L'/') >= 0)
        return L"파일명에 '/'는 쓸 수 없습니다.";
    return CStringW();
}

} // namespace

void SBatchReport::Skip(const CStringW& path, const CStringW& reason)
{
    ++nSkipped;
    strDetails.AppendFormat(L"\n건너뜀: %ls - %ls", path.GetString(), reason.GetString());
}

void SBatchReport::Fail(const CStringW& path, const CStringW& reason)
{
    ++nFailed;
    strDetails.AppendFormat(L"\n실패: %ls - %ls", path.GetString(), reason.GetString());
}

CStringW SBatchReport::Text(const wchar_t* what) const
{
    CStringW text;
    text.Format(L"%ls %d, 건너뜀 %d, 실패 %d", what, nDone, nSkipped, nFailed);
    if (!strDetails.IsEmpty())
        text += L"\n" + strDetails;
    return text;
}

CStringW RowFile(const CFileList& list, int row)
{
    return JoinName(list.GetItemText(row, CFileList::kPath), list.GetItemText(row, CFileList::kName),
        list.GetItemText(row, CFileList::kExtension));
}

CStringW RowPlannedFile(const CFileList& list, int row)
{
    const CStringW& planned = list.GetItemText(row, CFileList::kNewExtension);
    return JoinName(list.GetItemText(row, CFileList::kPath), list.GetItemText(row, CFileList::kNewName),
        planned.IsEmpty() ? list.GetItemText(row, CFileList::kExtension) : planned);
}

int CRenameBatch::CountPlanned(const CFileList& list)
{
    int planned = 0;
    for (int row = 0; row < list.GetItemCount(); ++row)
        if (list.GetCheck(row) && RowFile(list, row) != RowPlannedFile(list, row))
            ++planned;
    return planned;
}

SBatchReport CRenameBatch::Apply(CFileList& list, CProgress* progress)
{
    m_moves.clear();
    SBatchReport report;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        if (!list.GetCheck(row))
            continue;
        const CStringW from = RowFile(list, row);
        const CStringW to = RowPlannedFile(list, row);
        if (from == to)
            continue; // nothing to change: not part of the batch
        // A cancel stops before the next file; what is renamed stays
        // renamed and can be undone.
        if (progress && !progress->Step(static_cast<ULONGLONG>(row), static_cast<ULONGLONG>(list.GetItemCount())))
            break;
        CStringW reason = BadNameReason(list, row);
        const CStringW taken = reason.IsEmpty() ? RenameFile(from, to, reason) : CStringW();
        if (taken.IsEmpty()) {
            report.Fail(from, reason);
            continue;
        }
        ++report.nDone;
        m_moves.push_back({ row, from, taken });
        ShowFileInRow(list, row, taken);
    }
    return report;
}

SBatchReport CRenameBatch::Undo(CFileList& list)
{
    SBatchReport report;
    for (const SMove& move : m_moves) {
        CStringW reason;
        const CStringW taken = RenameFile(move.strTo, move.strFrom, reason);
        if (taken.IsEmpty()) {
            report.Fail(move.strTo, reason);
            continue;
        }
        ++report.nDone;
        if (move.nRow < list.GetItemCount())
            ShowFileInRow(list, move.nRow, taken);
    }
    m_moves.clear();
    return report;
}

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

// Whether the text reading would stop early: it ends at the first zero.
bool HasZero(const CByteBuffer& bytes, int id)
{
    if (id != CKelFile::UTF16_LE)
        return std::memchr(bytes.Data(), 0, bytes.Count()) != nullptr;
    if (bytes.Count() % 2 != 0)
        return true;
    for (size_t i = 0; i < bytes.Count(); i += 2)
        if ((bytes.Data()[i] | bytes.Data()[i + 1]) == 0)
            return true;
    return false;
}

// The bytes of `text` in the target, with its byte-order mark; false when a
// character has no code in the target.
bool EncodeForTarget(const std::wstring& text, int target, std::string& bytes)
{
    switch (target) {
    case kToUtf8Mark:
        bytes = "\xEF\xBB\xBF";
        [[fallthrough]];
    case kToUtf8:
        kel::platform::AppendWideAsUtf8(text, bytes);
        return true;
    case kToCp949:
        bytes = kel::platform::WideToMultiByte(text, kel::platform::CodePage::Cp949);
        // Characters without a code come out as '?': read back to find them.
        return kel::platform::MultiByteToWide(bytes, kel::platform::CodePage::Cp949) == text;
    default:
        bytes = "\xFF\xFE";
        kel::platform::AppendWideAsUtf16LE(text, bytes);
        return true;
    }
}

} // namespace

CStringW ChangeCharset(const CStringW& path, int target, SBatchReport& report)
{
    CByteBuffer bytes;
    CStringW converted;
    try {
        if (!ReadWholeFile(path, bytes)) {
            report.Fail(path, L"파일이 없습니다.");
            return converted;
        }
        if (bytes.Count() > UINT32_MAX) {
            report.Skip(path, L"파일이 너무 큽니다.");
            return converted;
        }
        const int id = CKelFile::EncodingCheck(bytes.Data(), static_cast<UINT>(bytes.Count()));
        if (id == CKelFile::UNDETECTED || id == CKelFile::CANNOTFOUND) {
            report.Skip(path, L"글자셋을 알 수 없습니다.");
            return converted;
        }
        if (IsAlreadyTarget(id, target)) {
            report.Skip(path, L"이미 " + CKelFile::GetEncodingName(id) + L" 입니다.");
            return converted;
        }
        if (HasZero(bytes, id)) {
            report.Skip(path, L"글자가 아닌 0 바이트가 있습니다.");
            return converted;
        }
        std::wstring text = CKelFile::DecodeAs(id, bytes.Data(), bytes.Count()).str();
        if (!text.empty() && text.front() == L'\xFEFF')
            text.erase(0, 1); // the old mark; the target writes its own
        std::string encoded;
        if (!EncodeForTarget(text, target, encoded)) {
            report.Fail(path, CStringW(L"CP949로 나타낼 수 없는 글자가 있습니다."));
            return converted;
        }
        WriteWholeFile(path, [&](const ByteSink& sink) { sink(encoded); });
        ++report.nDone;
        converted = CKelFile::GetEncodingName(TargetEncoding(target));
    } catch (CKelException* e) {
        report.Fail(path, e->GetMessage());
        e->Delete();
    }
    return converted;
}

} // namespace kelbench
