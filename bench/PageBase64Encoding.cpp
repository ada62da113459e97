#include "PageBase64Encoding.h"

#include "ByteViews.h"
#include "FileBytes.h"
#include "PageSupport.h"

#include <KelBase64.h>

#include <algorithm>
#include <bit>
#include <string>

using namespace kel::bench;

namespace {

// The UTF-16 units of the saved text are written as they lie in memory.
static_assert(std::endian::native == std::endian::little, "UTF-16LE files are written from memory");

// Bytes encoded per piece when saving: a multiple of 3, so the pieces join
// into one Base64 text without padding in between; written as one block of
// UTF-16, so that a slow disk still lets the window run between pieces.
constexpr size_t kSavePiece = 3 * (kProgressBlock / 8);

} // namespace

CPageBase64Encoding::CPageBase64Encoding()
    : CBytePage(BufferBox::kInput, kMessageTooLong)
{
}

StepResult CPageBase64Encoding::_Load()
{
    bool loaded = false;
    return _LoadBuffer(loaded);
}

void CPageBase64Encoding::InputChanged()
{
    if (m_strInput.IsEmpty())
        return;
    m_strPath.Empty();
    _BufferFromInput();
}

void CPageBase64Encoding::Encode()
{
    if (m_strInput.IsEmpty())
        return;
    // The length is known before the text is made: a text that the display
    // limit would replace is never built.
    const size_t length = CKelBase64::EncodeCount(m_buffer.Data(), m_buffer.Count());
    if (IsOverDisplayLimit(length)) {
        m_strOutput = kMessageTooLongDownload;
        return;
    }
    RunShowingFailure([&] {
        std::wstring text(length + 1, L'\0');
        CKelBase64::Encode(text.data(), m_buffer.Data(), m_buffer.Count());
        text.resize(length);
        m_strOutput = CStringW(std::move(text));
    });
}

CStringW CPageBase64Encoding::SaveFileName() const
{
    return m_strPath.IsEmpty() ? CStringW() : m_strPath + kSaveSuffix;
}

bool CPageBase64Encoding::Save(const CStringW& fileName)
{
    if (m_strInput.IsEmpty() || fileName.IsEmpty())
        return false;
    // Encoded piece by piece straight into UTF-16 units (Base64 is ASCII, so
    // each unit is the character and a zero byte), never one huge text.
    const bool saved = RunShowingFailure([&] {
        WriteWholeFile(fileName, [&](const ByteSink& sink) {
            sink(std::string_view("\xFF\xFE", 2));
            std::u16string text;
            for (size_t offset = 0; offset < m_buffer.Count(); offset += kSavePiece) {
                ReportProgress(m_pProgress, offset, m_buffer.Count());
                const size_t piece = std::min(kSavePiece, m_buffer.Count() - offset);
                text.resize(CKelBase64::EncodeCount(m_buffer.Data() + offset, piece) + 1);
                CKelBase64::Encode(text.data(), m_buffer.Data() + offset, piece);
                sink(std::string_view(reinterpret_cast<const char*>(text.data()), 2 * (text.size() - 1)));
            }
        }, m_pProgress);
    });
    if (saved)
        m_strStatus = SavedStatus(fileName);
    return saved;
}
