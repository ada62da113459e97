#include "PageBase64Decoding.h"

#include "ByteViews.h"
#include "FileBytes.h"
#include "PageSupport.h"

using namespace kel::bench;

CPageBase64Decoding::CPageBase64Decoding()
    : CBytePage(BufferBox::kOutput, kMessageTooLongDownload)
{
}

StepResult CPageBase64Decoding::_Load()
{
    return RunStep([&] {
        CBase64Text text = CBase64Text::ReadFile(m_strPath, m_pProgress);
        // The length is known before the wide text is made.
        m_strInput = IsOverDisplayLimit(text.Length()) ? CStringW(kMessageTooLong)
                                                       : FitForDisplay(text.Wide(), kMessageTooLong);
        m_base64 = std::move(text);
    });
}

void CPageBase64Decoding::InputChanged()
{
    m_base64 = CBase64Text(m_strInput);
    m_strPath.Empty();
}

void CPageBase64Decoding::Decode()
{
    if (m_base64.IsEmpty())
        return;
    RunShowingFailure([&] {
        const size_t count = m_base64.DecodeCount(m_pProgress);
        CByteBuffer decoded = CByteBuffer::Allocate(count);
        decoded.Shrink(m_base64.Decode(decoded.Data(), count, m_pProgress));
        m_buffer = std::move(decoded);
        m_nView = kViewRawData;
        _ShowBuffer();
    });
}

CStringW CPageBase64Decoding::SaveFileName() const
{
    return m_strPath.IsEmpty() ? CStringW() : m_strPath + kSaveSuffix;
}

bool CPageBase64Decoding::Save(const CStringW& fileName)
{
    if (fileName.IsEmpty())
        return false;
    const bool saved = RunShowingFailure([&] { WriteWholeFile(fileName, m_buffer.View(), m_pProgress); });
    if (saved)
        m_strStatus = SavedStatus(fileName);
    return saved;
}
