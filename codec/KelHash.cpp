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
    default:
        return nullptr;
    }
}

} // namespace

void CKelHash::GetValue(const DWORD& algorithm, const BYTE* data, const size_t& count,
    DWORD& length, BYTE* digest)
{
    const EVP_MD* md = DigestOf(algorithm);
    if (!md)
        throw new CKelException(L"지원하지 않는 해시 알고리즘 0x%04X 입니다.", algorithm);
    const auto size = static_cast<DWORD>(EVP_MD_get_size(md));
    if (length < size)
        throw new CKelException(L"해시 값은 %u 바이트인데 자릿수가 %u 입니다. 자릿수를 %u 이상으로 하세요.",
            size, length, size);
    static const BYTE kNoBytes = 0;
    unsigned int written = 0;
    if (EVP_Digest(count > 0 ? data : &kNoBytes, count, digest, &written, md, nullptr) != 1)
        throw new CKelException(L"해시 값을 계산하지 못했습니다.");
    length = written;
}
