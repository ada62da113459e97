// The read cycle of a followed log file: rotation, detection, truncation;
// the lines themselves come from LineReader.
#include "KelWatchDoc.h"

#include "LineReader.h"

#include "platform/CodePage.h"
#include "platform/FileHandle.h"
#include "platform/Unicode.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <future>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace {

using kel::watch::IsUtf16;
using kel::watch::ReadLines;
using kel::watch::SCycle;

// Regular files only: opening a FIFO or a device could block the window.
bool OpenForReading(const std::string& name, kel::platform::CFileHandle& file)
{
    return !name.empty() && file.OpenRegular(name, true) == kel::platform::CFileHandle::Opened::Yes;
}

// The encoding of the file from `from` to its end (up to `limit` bytes, and
// never more than one detection call can take), or nothing when the file
// cannot be read.
std::optional<int> DetectEncoding(kel::platform::CFileHandle& file, ULONGLONG from, ULONGLONG limit)
{
    ULONGLONG end = 0;
    if (!file.Size(end))
        return std::nullopt;
    const ULONGLONG size = std::min<ULONGLONG>({end > from ? end - from : 0, limit, UINT32_MAX - 1u});
    // Not zero-filled: every byte up to `read` is overwritten, the rest unused.
    std::unique_ptr<BYTE[]> buffer;
    try {
        buffer = std::make_unique_for_overwrite<BYTE[]>(static_cast<size_t>(size) + 1);
    } catch (const std::bad_alloc&) {
        return std::nullopt; // no memory for it now; the next cycle tries again
    }
    // In pieces: one read of the whole file faults in all of the fresh
    // buffer in one system call, and the window's thread, wanting the same
    // memory map lock for its own allocations, waits for all of it (230 ms
    // for 64 MB). Pieces of 8 MB kept it near 30 ms; 4 MB pieces read a
    // 256 MB log 15% slower.
    constexpr size_t kPiece = 8 << 20;
    size_t read = 0;
    for (size_t got = 1; read < size && got > 0; read += got)
        if (!file.ReadAt(buffer.get() + read, std::min<size_t>(kPiece, static_cast<size_t>(size) - read), from + read, got))
            return std::nullopt;
    buffer[read] = 0;
    return CKelFile::EncodingCheck(buffer.get(), static_cast<UINT>(read));
}

bool IsFollowable(int id)
{
    switch (id) {
    case CKelFile::UTF8_BOM:
    case CKelFile::UTF8_NOBOM:
    case CKelFile::ASCII:
    case CKelFile::EUCKR:
    case CKelFile::CP949:
    case CKelFile::UTF16_LE:
    case CKelFile::UTF16_BE:
        return true;
    default:
        return false;
    }
}

// The compression format whose magic number starts `data`, or null.
const wchar_t* CompressionOf(const BYTE* data, size_t length)
{
    struct SMagic {
        std::string_view bytes;
        const wchar_t* name;
    };
    static constexpr SMagic kMagics[] = {
        {std::string_view("\x1F\x8B", 2), L"gzip"},
        {std::string_view("BZh", 3), L"bzip2"},
        {std::string_view("\xFD" "7zXZ\0", 6), L"xz"},
        {std::string_view("\x28\xB5\x2F\xFD", 4), L"zstd"},
    };
    for (const SMagic& magic : kMagics)
        if (length >= magic.bytes.size() && std::memcmp(data, magic.bytes.data(), magic.bytes.size()) == 0)
            return magic.name;
    return nullptr;
}

} // namespace

bool CKelWatchDoc::OnOpenDocument(const wchar_t* path)
{
    m_strPath = path;
    return true;
}

bool CKelWatchDoc::SetEncoding(int id)
{
    if (id != CKelFile::UNDETECTED && !IsFollowable(id))
        return false;
    // A finished detection may be of the file as it was; one still running
    // looks at it as it is now and is kept.
    if (m_detection.valid() && m_detection.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
        m_detection.get();
    _ForgetEncoding();
    m_nEncoding = id;
    m_bEncodingChosen = id != CKelFile::UNDETECTED;
    m_nReadPosition = 0;
    m_fingerprint.clear();
    m_bSkipZeros = false;
    m_bFollowing = true;
    m_bHasMore = false;
    ++m_nGeneration;
    return true;
}

// Back to an encoding to be detected from the file's first byte.
void CKelWatchDoc::_ForgetEncoding()
{
    m_nEncoding = CKelFile::UNDETECTED;
    m_nDetectFrom = 0;
    m_bEncodingOpen = false;
    m_bUtf8Fallback = false;
    m_pszCompression = nullptr;
}

// The text form of a cycle: every line followed by "\r\n".
class CTextOfLines : public CWatchLineSink {
public:
    explicit CTextOfLines(std::wstring& text) : m_text(text) {}
    void AddLine(std::wstring_view line) override
    {
        m_text.append(line);
        m_text += L"\r\n";
    }
    void AddUtf8Line(std::string_view bytes) override
    {
        kel::platform::AppendUtf8AsWide(bytes, m_text);
        m_text += L"\r\n";
    }

private:
    std::wstring& m_text;
};

CStringW CKelWatchDoc::ReadCycle()
{
    std::wstring text;
    // Room for the text of the bytes waiting now (a character per byte,
    // plus the carriage returns), so the text is not copied as it grows.
    const ULONGLONG waiting = std::min(_WaitingBytes(), m_nCycleBudget);
    text.reserve(static_cast<size_t>(waiting + waiting / 8));
    CTextOfLines lines(text);
    ReadCycle(lines);
    return CStringW(std::move(text));
}

ULONGLONG CKelWatchDoc::_WaitingBytes() const
{
    std::error_code error;
    const auto size = std::filesystem::file_size(kel::platform::NarrowPath(m_strPath), error);
    return !error && size > m_nReadPosition ? size - m_nReadPosition : 0;
}

// Detection reads up to its limit: a big file is read and checked on a
// thread of its own, so that the window goes on handling events; cycles
// show nothing until it is done.
std::optional<int> CKelWatchDoc::_DetectEncoding()
{
    if (!m_detection.valid()) {
        ULONGLONG size = 0;
        if (m_file.Size(size) && size <= m_nDetectFrom + kInlineDetectionSize)
            return DetectEncoding(m_file, m_nDetectFrom, m_nDetectionLimit);
        m_detection = std::async(std::launch::async, [name = kel::platform::NarrowPath(m_strPath),
                                                      from = m_nDetectFrom, limit = m_nDetectionLimit] {
            kel::platform::CFileHandle own;
            return OpenForReading(name, own) ? DetectEncoding(own, from, limit) : std::nullopt;
        });
    }
    if (m_detection.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return std::nullopt;
    return m_detection.get(); // leaves no detection running: a failed one starts again next cycle
}

// The detected encoding, once known. ASCII (7-bit bytes, or none yet)
// stays open; bytes that fit no encoding are shown as UTF-8, unless they
// are a compressed file.
bool CKelWatchDoc::_TakeDetectedEncoding()
{
    const std::optional<int> id = _DetectEncoding();
    if (!id)
        return false;
    m_nEncoding = *id;
    m_bEncodingOpen = *id == CKelFile::ASCII;
    if (*id == CKelFile::UNDETECTED) {
        BYTE head[8];
        size_t got = 0;
        m_pszCompression = m_file.ReadAt(head, sizeof head, 0, got) ? CompressionOf(head, got) : nullptr;
        if (!m_pszCompression) {
            m_nEncoding = CKelFile::UTF8_NOBOM;
            m_bUtf8Fallback = true;
        }
    }
    return true;
}

void CKelWatchDoc::_NoteFileProblem(const std::string& name)
{
    if (name.empty())
        return; // an unnamed document has no file to miss
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(name, error);
    const wchar_t* problem = L"파일이 없습니다: %ls";
    if (error == std::errc::permission_denied)
        problem = L"읽을 권한이 없습니다: %ls";
    else if (std::filesystem::is_regular_file(status))
        problem = L"읽을 권한이 없습니다: %ls";
    else if (std::filesystem::exists(status))
        problem = L"파일이 아닙니다: %ls";
    m_strProblem.Format(problem, m_strPath.GetString());
}

// Up to 64 bytes before the read position, as the file holds them now.
std::vector<BYTE> CKelWatchDoc::_BytesBeforeReadPosition()
{
    constexpr ULONGLONG kFingerprintBytes = 64;
    const ULONGLONG from = m_nReadPosition > kFingerprintBytes ? m_nReadPosition - kFingerprintBytes : 0;
    std::vector<BYTE> bytes(static_cast<size_t>(m_nReadPosition - from));
    size_t got = 0;
    if (!m_file.ReadAt(bytes.data(), bytes.size(), from, got))
        got = 0;
    bytes.resize(got);
    return bytes;
}

// The file was cut (and maybe written again): it is read from its first
// byte, past the run of zero bytes a writer that does not append leaves.
void CKelWatchDoc::_StartOver()
{
    m_nReadPosition = 0;
    m_fingerprint.clear();
    m_bSkipZeros = true;
}

// Moves the read position past zero bytes (zero units of UTF-16); false
// while the file holds nothing else yet.
bool CKelWatchDoc::_SkipZeroRun()
{
    const size_t unit = IsUtf16(m_nEncoding) ? 2 : 1;
    std::vector<BYTE> block(64 * 1024);
    for (;;) {
        size_t got = 0;
        if (!m_file.ReadAt(block.data(), block.size(), m_nReadPosition, got) || got < unit)
            return false;
        const auto nonZero = std::find_if(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(got),
                                          [](BYTE b) { return b != 0; });
        const size_t zeros = static_cast<size_t>(nonZero - block.begin());
        m_nReadPosition += zeros - zeros % unit;
        if (zeros < got) {
            m_bSkipZeros = false;
            return true;
        }
    }
}

namespace {

struct SFileIdentity {
    ULONGLONG device = 0;
    ULONGLONG inode = 0;
    ULONGLONG size = 0;
    bool SameFile(const SFileIdentity& other) const { return device == other.device && inode == other.inode; }
};

bool IdentityOf(const kel::platform::CFileHandle& file, SFileIdentity& identity)
{
    return file.IsOpen() && file.Identity(identity.device, identity.inode, identity.size);
}

} // namespace

// Compares the file the path names now with the one held open, the way
// `tail -F` does, and moves to the new one when the log was rotated.
// Returns the lines it put out: the rest of a replaced file and a marker.
size_t CKelWatchDoc::_FollowThePath(CWatchLineSink& lines)
{
    const std::string name = kel::platform::NarrowPath(m_strPath);
    kel::platform::CFileHandle named;
    SFileIdentity now;
    const bool opened = OpenForReading(name, named) && IdentityOf(named, now);
    if (!m_file.IsOpen()) {
        if (opened) {
            m_file = std::move(named);
            m_strProblem.Empty();
        } else {
            _NoteFileProblem(name);
        }
        return 0;
    }
    SFileIdentity held;
    if (!IdentityOf(m_file, held))
        return 0;
    if (opened && now.SameFile(held)) {
        m_bPathGone = false;
        // Cut and written again since the last cycle, the file may be no
        // shorter than it was: the bytes before the read position tell.
        if (held.size >= m_nReadPosition && _BytesBeforeReadPosition() == m_fingerprint)
            return 0;
        _StartOver();
        lines.AddLine(kTruncatedMarker);
        return 1;
    }
    if (!opened) {
        std::error_code error;
        if (m_bPathGone || std::filesystem::exists(name, error) || error)
            return 0; // still gone, or there but unreadable for now
        // The text shown stays, and so does the descriptor: a writer that
        // still has the deleted file open goes on being shown.
        m_bPathGone = true;
        lines.AddLine(kDeletedMarker);
        return 1;
    }
    return _MoveToTheNewFile(std::move(named), lines);
}

// Another file under the path: what was written to the old one since the
// last cycle comes first, then the new one from its first byte.
size_t CKelWatchDoc::_MoveToTheNewFile(kel::platform::CFileHandle named, CWatchLineSink& lines)
{
    size_t count = 0;
    if (m_nEncoding != CKelFile::UNDETECTED && IsFollowable(m_nEncoding)) {
        const SCycle rest = ReadLines(m_file, m_nReadPosition, m_nEncoding, m_nCycleBudget, lines);
        m_nReadPosition += rest.consumed;
        count = rest.lines;
        if (rest.more) {
            m_bHasMore = true;
            return count;
        }
    }
    lines.AddLine(m_bPathGone ? kRecreatedMarker : kReplacedMarker);
    m_file = std::move(named);
    m_nReadPosition = 0;
    m_fingerprint.clear();
    m_bSkipZeros = false;
    // An encoding the user chose holds for the next file of the log too (a
    // program writes its new log as it wrote the old one); a detected one
    // is detected again.
    if (!m_bEncodingChosen)
        _ForgetEncoding();
    m_bPathGone = false;
    return count + 1;
}

size_t CKelWatchDoc::ReadCycle(CWatchLineSink& lines)
{
    m_bHasMore = false;
    if (!m_bFollowing)
        return 0;
    const size_t rotated = _FollowThePath(lines);
    if (m_bHasMore || !m_file.IsOpen())
        return rotated;

    if (m_nEncoding == CKelFile::UNDETECTED) {
        if (!_TakeDetectedEncoding())
            return rotated;
    } else if (m_detection.valid() && m_detection.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
        m_detection.get(); // a detection the user's choice made needless
    }
    if (!IsFollowable(m_nEncoding)) {
        // Nothing of this file can be shown; say so once instead of
        // retrying a conversion that cannot succeed.
        m_bFollowing = false;
        CStringW note;
        if (m_pszCompression)
            note.Format(L"%ls 압축 파일입니다.", m_pszCompression);
        else
            note.Format(L"지원하지 않는 Format %ls 입니다.", CKelFile::GetEncodingName(m_nEncoding).GetString());
        lines.AddLine(note.str());
        return rotated + 1;
    }
    if (m_bSkipZeros && !_SkipZeroRun())
        return rotated;
    const SCycle cycle = ReadLines(m_file, m_nReadPosition, m_nEncoding, m_nCycleBudget, lines, m_bEncodingOpen);
    m_nReadPosition += cycle.consumed;
    if (cycle.consumed > 0)
        m_fingerprint = _BytesBeforeReadPosition();
    m_bHasMore = cycle.more;
    if (cycle.highByte) {
        // The first bytes that tell encodings apart: detect from here on.
        m_nEncoding = CKelFile::UNDETECTED;
        m_bEncodingOpen = false;
        m_nDetectFrom = m_nReadPosition;
        m_bHasMore = true;
    }
    return rotated + cycle.lines;
}
