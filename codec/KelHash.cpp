#include "KelHash.h"

#include <openssl/evp.h>

namespace {

const EVP_MD* DigestOf(DWORD algorithm)
{
    switch (algorithm) {
    case CKelHash::kMD5:
        return EVP_md5();
    case CKelHash::kSHA1:
        return EVP_sha1();
    case CKelHash::kSHA256:
        return EVP_sha256();
    default:
        return nullptr;
    }
}

EVP_MD_CTX* Context(void* context)
{
    return static_cast<EVP_MD_CTX*>(context);
}

[[noreturn]] void ThrowFailed()
{
    throw new CKelException(L"해시 값을 계산하지 못했습니다.");
}

} // namespace

void CKelHash::GetValue(const DWORD& algorithm, const BYTE* data, const size_t& count,
    DWORD& length, BYTE* digest)
{
    CKelHashStream stream(algorithm);
    stream.Update(data, count);
    stream.Finish(length, digest);
}

CKelHashStream::CKelHashStream(const DWORD& algorithm)
    : m_nAlgorithm(algorithm)
    , m_pContext(nullptr)
{
    const EVP_MD* md = DigestOf(algorithm);
    if (!md)
        throw new CKelException(L"지원하지 않는 해시 알고리즘 0x%04X 입니다.", algorithm);
    m_pContext = EVP_MD_CTX_new();
    if (!m_pContext || EVP_DigestInit_ex(Context(m_pContext), md, nullptr) != 1) {
        EVP_MD_CTX_free(Context(m_pContext));
        ThrowFailed();
    }
}

CKelHashStream::CKelHashStream(const CKelHashStream& other)
    : m_nAlgorithm(other.m_nAlgorithm)
    , m_pContext(EVP_MD_CTX_new())
    , m_bFinished(other.m_bFinished)
{
    if (!m_pContext || EVP_MD_CTX_copy_ex(Context(m_pContext), Context(other.m_pContext)) != 1) {
        EVP_MD_CTX_free(Context(m_pContext));
        ThrowFailed();
    }
}

CKelHashStream::~CKelHashStream()
{
    EVP_MD_CTX_free(Context(m_pContext));
}

void CKelHashStream::Update(const BYTE* data, const size_t& count)
{
    if (m_bFinished)
        ThrowFailed();
    if (count > 0 && EVP_DigestUpdate(Context(m_pContext), data, count) != 1)
        ThrowFailed();
}

void CKelHashStream::Finish(DWORD& length, BYTE* digest)
{
    const auto size = static_cast<DWORD>(EVP_MD_get_size(EVP_MD_CTX_get0_md(Context(m_pContext))));
    if (length < size)
        throw new CKelException(L"해시 값은 %u 바이트인데 자릿수가 %u 입니다. 자릿수를 %u 이상으로 하세요.",
            size, length, size);
    unsigned int written = 0;
    if (m_bFinished || EVP_DigestFinal_ex(Context(m_pContext), digest, &written) != 1)
        ThrowFailed();
    m_bFinished = true;
    length = written;
}
