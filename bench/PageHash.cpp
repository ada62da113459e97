#include "PageHash.h"

#include "ByteViews.h"
#include "FileBytes.h"

#include <KelHex.h>

#include <algorithm>
#include <vector>

using namespace kel::bench;

namespace {

DWORD AlgorithmId(int index)
{
    switch (index) {
    case CPageHash::kSHA1:
        return CKelHash::kSHA1;
    case CPageHash::kSHA256:
        return CKelHash::kSHA256;
    default:
        return CKelHash::kMD5;
    }
}

} // namespace

CPageHash::CPageHash()
    : CBytePage(BufferBox::kInput, kMessageTooLongHash)
{
}

StepResult CPageHash::_Load()
{
    bool loaded = false;
    auto hash = std::make_unique<CKelHashStream>(AlgorithmId(m_nAlgorithm));
    const StepResult result = _LoadBuffer(loaded, [&](const BYTE* data, size_t count) { hash->Update(data, count); });
    if (loaded)
        m_pLoadedHash = std::move(hash);
    return result;
}

void CPageHash::InputChanged()
{
    if (m_strInput.IsEmpty())
        return;
    m_pLoadedHash.reset();
    _BufferFromInput();
}

void CPageHash::AlgorithmChanged()
{
    static const int kLengths[] = { 16, 20, 32 };
    m_nDigestLength = kLengths[std::clamp(m_nAlgorithm, 0, 2)];
}

CKelHashStream CPageHash::_HashOfBuffer(DWORD algorithm)
{
    if (m_pLoadedHash && m_pLoadedHash->Algorithm() == algorithm)
        return *m_pLoadedHash; // a copy: "Hashing" may be pressed again
    CKelHashStream hash(algorithm);
    for (size_t at = 0; at < m_buffer.Count(); at += kProgressBlock) {
        ReportProgress(m_pProgress, at, m_buffer.Count());
        hash.Update(m_buffer.Data() + at, std::min(kProgressBlock, m_buffer.Count() - at));
    }
    return hash;
}

void CPageHash::Compute()
{
    RunShowingFailure([&] {
        std::vector<BYTE> digest(2048, 0);
        // A typed length that is negative is no room at all.
        DWORD length = m_nDigestLength > 0 ? static_cast<DWORD>(m_nDigestLength) : 0;
        _HashOfBuffer(AlgorithmId(m_nAlgorithm)).Finish(length, digest.data());
        std::wstring text(2048, L'\0');
        CKelHex::Encode(text.data(), digest.data(), length);
        CStringW output(text.c_str());
        output.Trim(L"\t\r\n");
        output.Remove(L' ');
        m_strOutput = output;
        m_nDigestLength = static_cast<int>(length);
    });
}
