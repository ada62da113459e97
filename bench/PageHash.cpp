#include "PageHash.h"

#include "ByteViews.h"
#include "FileBytes.h"
#include "PageSupport.h"

#include <KelHash.h>
#include <KelHex.h>

#include <vector>

using namespace kelbench;

void CPageHash::_ShowBuffer()
{
    RunShowingFailure([&] { m_strInput = BufferToText(m_buffer, m_nView, kMessageTooLongHash); });
}

void CPageHash::LoadPath()
{
    bool loaded = false;
    if (!RunShowingFailure([&] { loaded = ReadWholeFile(m_strPath, m_buffer); }) || !loaded)
        return;
    m_nView = kViewRawData;
    _ShowBuffer();
}

void CPageHash::InputChanged()
{
    if (m_strInput.IsEmpty())
        return;
    m_buffer = CByteBuffer();
    RunShowingFailure([&] { m_buffer = TextToBuffer(m_strInput, m_nView); });
}

void CPageHash::ViewChanged()
{
    if (!m_strInput.IsEmpty())
        _ShowBuffer();
}

void CPageHash::AlgorithmChanged()
{
    m_nDigestLength = m_nAlgorithm == 0 ? 16 : 20;
}

void CPageHash::Compute()
{
    const DWORD algorithm = m_nAlgorithm == 0 ? CKelHash::kMD5 : CKelHash::kSHA1;
    RunShowingFailure([&] {
        std::vector<BYTE> digest(2048, 0);
        // A typed length that is negative is no room at all.
        DWORD length = m_nDigestLength > 0 ? static_cast<DWORD>(m_nDigestLength) : 0;
        CKelHash::GetValue(algorithm, m_buffer.Data(), m_buffer.Count(), length, digest.data());
        std::wstring text(2048, L'\0');
        CKelHex::Encode(text.data(), digest.data(), length);
        CStringW output(text.c_str());
        output.Trim(L"\t\r\n");
        output.Remove(L' ');
        m_strOutput = output;
        m_nDigestLength = static_cast<int>(length);
    });
}
