#include "PageBase64Decoding.h"

#include "ByteViews.h"
#include "FileBytes.h"
#include "PageSupport.h"

using namespace kelbench;

void CPageBase64Decoding::_ShowBuffer()
{
    RunShowingFailure([&] { m_strOutput = BufferToText(m_buffer, m_nView, kMessageTooLongDownload); });
}

void CPageBase64Decoding::LoadPath()
{
    RunShowingFailure([&] {
        m_base64 = CBase64Text::ReadFile(m_strPath);
        // The length is known before the wide text is made.
        m_strInput = IsOverDisplayLimit(m_base64.Length()) ? CStringW(kMessageTooLong)
                                                           : FitForDisplay(m_base64.Wide(), kMessageTooLong);
    });
}

void CPageBase64Decoding::InputChanged()
{
    m_base64 = CBase64Text(m_strInput);
    m_strPath.Empty();
}

void CPageBase64Decoding::ViewChanged()
{
    if (!m_strOutput.IsEmpty())
        _ShowBuffer();
}

void CPageBase64Decoding::Decode()
{
    if (m_base64.IsEmpty())
        return;
    RunShowingFailure([&] {
        CByteBuffer decoded = CByteBuffer::Allocate(m_base64.DecodeCount());
        decoded.Shrink(m_base64.Decode(decoded.Data()));
        m_buffer = std::move(decoded);
        m_nView = kViewRawData;
        _ShowBuffer();
    });
}

CStringW CPageBase64Decoding::SaveFileName() const
{
    return m_strPath.IsEmpty() ? CStringW() : m_strPath + kSaveSuffix;
}

void CPageBase64Decoding::Save(const CStringW& fileName)
{
    if (fileName.IsEmpty())
        return;
    RunShowingFailure([&] { WriteWholeFile(fileName, [&](const ByteSink& sink) { sink(m_buffer.View()); }); });
}
